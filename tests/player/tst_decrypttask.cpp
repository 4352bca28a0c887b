#include "DecryptTask.h"

#include "Rc4Cipher.h"
#include "TestFiles.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <cstdint>
#include <memory>

namespace {

constexpr int prefixSize = 1048576;

// The stored form of a video: the leading megabyte enciphered, the rest as
// is. The megabyte is spelled out here, not taken from the code under test.
QByteArray encipherVideo(const QByteArray &key, QByteArray plain)
{
    Rc4Cipher(key).encrypt(plain.constData(), plain.data(), qMin(plain.size(), prefixSize));
    return plain;
}

QByteArray patternBytes(int size, std::uint32_t seed)
{
    QByteArray data(size, Qt::Uninitialized);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (int k = 0; k < size; ++k) {
        x = x * 1664525u + 1013904223u;
        data[k] = char(x >> 24);
    }
    return data;
}

void runTask(const QString &input, const QString &output,
             const QByteArray &key = Constants::videoKey())
{
    std::unique_ptr<DecryptTask> task(new DecryptTask(input, output, key));
    task->run();
}

} // namespace

class TestDecryptTask : public QObject
{
    Q_OBJECT

private slots:
    void decryptsOnlyTheLeadingMegabyte_data();
    void decryptsOnlyTheLeadingMegabyte();
    void missingSourceLogsAndWritesNothing();
    void unwritableOutputFolderLogs_data();
    void unwritableOutputFolderLogs();
    void unreadableSourceLeavesNoOutput();
    void tasksRunTogetherOnTheGlobalPool();
};

void TestDecryptTask::decryptsOnlyTheLeadingMegabyte_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("key");
    const QByteArray builtIn = Constants::videoKey();
    QTest::newRow("empty") << 0 << builtIn;
    QTest::newRow("one byte") << 1 << builtIn;
    QTest::newRow("one short of the prefix") << prefixSize - 1 << builtIn;
    QTest::newRow("exactly the prefix") << prefixSize << builtIn;
    QTest::newRow("one past the prefix") << prefixSize + 1 << builtIn;
    QTest::newRow("several MiB") << 5 * prefixSize + 12345 << builtIn;
    QTest::newRow("another key") << 70000 << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
}

void TestDecryptTask::decryptsOnlyTheLeadingMegabyte()
{
    QFETCH(int, size);
    QFETCH(QByteArray, key);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plain = patternBytes(size, std::uint32_t(size));
    const QString input = dir.filePath("situation.mp4");
    const QString output = dir.filePath("plain.mp4");
    QVERIFY(TestFiles::write(input, encipherVideo(key, plain)));
    // A longer copy of an earlier run is replaced whole.
    QVERIFY(TestFiles::write(output, patternBytes(size + 5000, 12)));

    runTask(input, output, key);

    const QByteArray result = TestFiles::read(output);
    QCOMPARE(result.size(), plain.size());
    QVERIFY2(result == plain, "decrypted copy differs from the original video");
    // Nothing but the source and the finished copy may remain.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             QStringList({"plain.mp4", "situation.mp4"}));
}

void TestDecryptTask::missingSourceLogsAndWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = dir.filePath("absent.mp4");
    QTest::ignoreMessage(QtInfoMsg, qPrintable("Can't open file to decrypt: " + input));

    runTask(input, dir.filePath("out.mp4"));

    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                .isEmpty());
}

void TestDecryptTask::unwritableOutputFolderLogs_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << "no/such/folder";
    // A regular file in the folder's place defeats even a privileged user.
    QTest::newRow("file in place of the folder") << "blocker";
}

void TestDecryptTask::unwritableOutputFolderLogs()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(TestFiles::write(dir.filePath("in.mp4"), patternBytes(100, 1)));
    QVERIFY(TestFiles::write(dir.filePath("blocker"), QByteArray("x")));
    QTest::ignoreMessage(QtInfoMsg, "Can't open file to write decrypted data");

    runTask(dir.filePath("in.mp4"), dir.filePath(folder + "/out.mp4"));

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                        QDir::Name),
             QStringList({"blocker", "in.mp4"}));
}

void TestDecryptTask::unreadableSourceLeavesNoOutput()
{
    // Opening the process's own memory image succeeds but reading from
    // offset 0 fails, which stands in for a disk error in mid-copy.
    const QString input = QStringLiteral("/proc/self/mem");
    QFile probe(input);
    if (!probe.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/mem to stand in for an unreadable source");
    probe.close();

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression("^Can't read file to decrypt: /proc/self/mem"));

    runTask(input, dir.filePath("out.mp4"));

    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                .isEmpty());
}

void TestDecryptTask::tasksRunTogetherOnTheGlobalPool()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<int> sizes = {0, 10, prefixSize - 3, prefixSize, 2 * prefixSize + 77,
                              3 * prefixSize, 12345, prefixSize + 1};
    QList<QByteArray> plains;
    for (int k = 0; k < sizes.size(); ++k) {
        plains.append(patternBytes(sizes.at(k), std::uint32_t(100 + k)));
        QVERIFY(TestFiles::write(dir.filePath(QString("in%1.mp4").arg(k)),
                                 encipherVideo(Constants::videoKey(), plains.last())));
    }

    QThreadPool *pool = QThreadPool::globalInstance();
    for (int k = 0; k < sizes.size(); ++k)
        pool->start(new DecryptTask(dir.filePath(QString("in%1.mp4").arg(k)),
                                    dir.filePath(QString("out%1.mp4").arg(k))));
    QVERIFY(pool->waitForDone(120000));

    for (int k = 0; k < sizes.size(); ++k)
        QVERIFY2(TestFiles::read(dir.filePath(QString("out%1.mp4").arg(k))) == plains.at(k),
                 qPrintable(QString("copy %1 differs").arg(k)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2 * sizes.size());
}

QTEST_GUILESS_MAIN(TestDecryptTask)
#include "tst_decrypttask.moc"
