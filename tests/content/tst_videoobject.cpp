#include "VideoObject.h"

#include "TestFiles.h"

#include <QtTest>

// The file writer is fed by a remote peer: whatever name it sends, nothing is
// written outside the working directory, and a transfer that never finishes
// leaves the previous file intact.
class TestVideoObject : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { QDir::setCurrent(m_previousDir); }
    void refusesUnsafeNames_data();
    void refusesUnsafeNames();
    void unfinishedTransfersKeepOldFile();

private:
    QScopedPointer<QTemporaryDir> m_work;
    QScopedPointer<QTemporaryDir> m_outside;
    QString m_previousDir;
};

void TestVideoObject::init()
{
    m_work.reset(new QTemporaryDir);
    m_outside.reset(new QTemporaryDir);
    QVERIFY(m_work->isValid() && m_outside->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_work->path()));
    QVERIFY(QDir().mkdir(QStringLiteral("videos")));
    // Links inside the working directory that lead out of it.
    QVERIFY(TestFiles::write(m_outside->filePath(QStringLiteral("target.mp4")), "precious"));
    QVERIFY(QFile::link(m_outside->path(), QStringLiteral("videos/out")));
    QVERIFY(QFile::link(m_outside->filePath(QStringLiteral("target.mp4")), QStringLiteral("videos/link.mp4")));
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
    QTest::newRow("through a folder link") << "videos/out/x.mp4";
    QTest::newRow("a file link") << "videos/link.mp4";
}

void TestVideoObject::refusesUnsafeNames()
{
    QFETCH(QString, name);
    VideoObject sink;
    sink.openFile(name);
    QVERIFY(!sink.isOpen());
    sink.writeData("x", 1);
    sink.closeFile();
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/hazard-absolute.mp4")) && !QFile::exists(m_work->filePath(QStringLiteral("../escape.mp4"))));
    QCOMPARE(QDir(m_outside->path()).entryList(QDir::Files), QStringList{"target.mp4"});
    QCOMPARE(TestFiles::read(m_outside->filePath(QStringLiteral("target.mp4"))), QByteArray("precious"));
    QVERIFY(QDir(QStringLiteral("videos")).entryList(QDir::Files | QDir::NoSymLinks).isEmpty());
}

void TestVideoObject::unfinishedTransfersKeepOldFile()
{
    QVERIFY(TestFiles::write(QStringLiteral("videos/c.mp4"), "old content"));
    VideoObject sink;
    sink.openFile(QStringLiteral("videos/c.mp4"));
    sink.writeData("new ", 4);
    sink.writeData("bytes", 5);
    QCOMPARE(TestFiles::read(QStringLiteral("videos/c.mp4")), QByteArray("old content"));
    sink.closeFile();
    QCOMPARE(TestFiles::read(QStringLiteral("videos/c.mp4")), QByteArray("new bytes"));

    sink.openFile(QStringLiteral("videos/c.mp4"));
    sink.writeData("first", 5);
    // Neither the unfinished transfer's file nor its bytes survive.
    sink.openFile(QStringLiteral("videos/d.mp4"));
    sink.writeData("second", 6);
    sink.closeFile();
    QCOMPARE(TestFiles::read(QStringLiteral("videos/d.mp4")), QByteArray("second"));

    {
        VideoObject dropped;
        dropped.openFile(QStringLiteral("videos/d.mp4"));
        dropped.writeData("par", 3);
        // Destroyed before the end of the transfer: the link went away.
    }
    QCOMPARE(TestFiles::read(QStringLiteral("videos/c.mp4")) + TestFiles::read(QStringLiteral("videos/d.mp4")), QByteArray("new bytessecond"));
    QCOMPARE(QDir(QStringLiteral("videos")).entryList(QDir::Files | QDir::NoSymLinks), (QStringList{"c.mp4", "d.mp4"}));
}

QTEST_GUILESS_MAIN(TestVideoObject)
#include "tst_videoobject.moc"
