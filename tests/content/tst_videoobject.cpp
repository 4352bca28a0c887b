#include "VideoObject.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The file writer is fed by a remote peer: whatever name it sends, nothing is
// written outside the working directory, and a transfer that never finishes
// leaves the previous file intact.
class TestVideoObject : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void writesAndReplacesOnClose();
    void refusesUnsafeNames_data();
    void refusesUnsafeNames();
    void refusesSymlinkEscape();
    void callsWithoutOpenFileDoNothing();
    void interruptedTransferKeepsOldFile();
    void secondStartDiscardsFirst();

private:
    static QByteArray contents(const QString &path);

    QScopedPointer<QTemporaryDir> m_work;
    QScopedPointer<QTemporaryDir> m_outside;
    QString m_previousDir;
};

QByteArray TestVideoObject::contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void TestVideoObject::init()
{
    m_work.reset(new QTemporaryDir);
    m_outside.reset(new QTemporaryDir);
    QVERIFY(m_work->isValid() && m_outside->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_work->path()));
    QVERIFY(QDir().mkdir(QStringLiteral("videos")));
}

void TestVideoObject::cleanup()
{
    QDir::setCurrent(m_previousDir);
}

void TestVideoObject::writesAndReplacesOnClose()
{
    QFile old(QStringLiteral("videos/a.mp4"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();

    VideoObject sink;
    sink.openFile(QStringLiteral("videos/a.mp4"));
    QVERIFY(sink.isOpen());
    QTest::ignoreMessage(QtInfoMsg, "Length save file: 4");
    sink.writeData("new ", 4);
    QTest::ignoreMessage(QtInfoMsg, "Length save file: 5");
    sink.writeData("bytes", 5);
    QCOMPARE(contents(QStringLiteral("videos/a.mp4")), QByteArray("old content"));
    sink.closeFile();
    QVERIFY(!sink.isOpen());
    QCOMPARE(contents(QStringLiteral("videos/a.mp4")), QByteArray("new bytes"));
    QCOMPARE(QDir(QStringLiteral("videos")).entryList(QDir::Files), QStringList{"a.mp4"});
}

void TestVideoObject::refusesUnsafeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("absolute") << "/tmp/hazard-absolute.mp4";
    QTest::newRow("parent") << "../escape.mp4";
    QTest::newRow("parent inside") << "videos/../../escape.mp4";
    QTest::newRow("backslash parent") << "videos\\..\\..\\escape.mp4";
    QTest::newRow("missing folder") << "nowhere/x.mp4";
    QTest::newRow("a folder") << "videos";
}

void TestVideoObject::refusesUnsafeNames()
{
    QFETCH(QString, name);
    VideoObject sink;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Refused file from server:")));
    sink.openFile(name);
    QVERIFY(!sink.isOpen());
    sink.writeData("x", 1);
    sink.closeFile();
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/hazard-absolute.mp4")));
    QVERIFY(!QFile::exists(m_work->filePath(QStringLiteral("../escape.mp4"))));
}

void TestVideoObject::refusesSymlinkEscape()
{
    QVERIFY(QFile::link(m_outside->path(), QStringLiteral("videos/out")));
    const QString outsideTarget = m_outside->filePath(QStringLiteral("target.mp4"));
    QFile target(outsideTarget);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("precious");
    target.close();
    QVERIFY(QFile::link(outsideTarget, QStringLiteral("videos/link.mp4")));

    VideoObject sink;
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Refused file from server:")));
    sink.openFile(QStringLiteral("videos/out/x.mp4"));
    QVERIFY(!sink.isOpen());
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("^Refused file from server:")));
    sink.openFile(QStringLiteral("videos/link.mp4"));
    QVERIFY(!sink.isOpen());
    sink.writeData("evil", 4);
    sink.closeFile();
    QVERIFY(!QFile::exists(m_outside->filePath(QStringLiteral("x.mp4"))));
    QCOMPARE(contents(outsideTarget), QByteArray("precious"));
}

void TestVideoObject::callsWithoutOpenFileDoNothing()
{
    VideoObject sink;
    sink.writeData("abc", 3);
    sink.closeFile();
    QVERIFY(QDir(QStringLiteral("videos")).entryList(QDir::Files).isEmpty());
}

void TestVideoObject::interruptedTransferKeepsOldFile()
{
    QFile old(QStringLiteral("videos/b.mp4"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("good");
    old.close();
    {
        VideoObject sink;
        sink.openFile(QStringLiteral("videos/b.mp4"));
        QTest::ignoreMessage(QtInfoMsg, "Length save file: 3");
        sink.writeData("par", 3);
        // Destroyed before the end of the transfer: the link went away.
    }
    QCOMPARE(contents(QStringLiteral("videos/b.mp4")), QByteArray("good"));
    QCOMPARE(QDir(QStringLiteral("videos")).entryList(QDir::Files), QStringList{"b.mp4"});
}

void TestVideoObject::secondStartDiscardsFirst()
{
    VideoObject sink;
    sink.openFile(QStringLiteral("videos/c.mp4"));
    QTest::ignoreMessage(QtInfoMsg, "Length save file: 5");
    sink.writeData("first", 5);
    sink.openFile(QStringLiteral("videos/c.mp4"));
    QTest::ignoreMessage(QtInfoMsg, "Length save file: 6");
    sink.writeData("second", 6);
    sink.closeFile();
    QCOMPARE(contents(QStringLiteral("videos/c.mp4")), QByteArray("second"));
    QCOMPARE(QDir(QStringLiteral("videos")).entryList(QDir::Files), QStringList{"c.mp4"});
}

QTEST_GUILESS_MAIN(TestVideoObject)
#include "tst_videoobject.moc"
