#include "DecryptTask.h"

#include "Rc4Cipher.h"
#include "TestFiles.h"

#include <QtTest>

#include <QDir>
#include <QTemporaryDir>
#include <QThreadPool>

#include <cstdint>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int prefixSize = 1048576;

QByteArray patternBytes(int size, std::uint32_t seed)
{
    QByteArray data(size, Qt::Uninitialized);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (int k = 0; k < size; ++k)
        data[k] = char((x = x * 1664525u + 1013904223u) >> 24);
    return data;
}

QByteArray stored(const QByteArray &plain)
{
    QByteArray bytes = plain;
    Rc4Cipher().encrypt(bytes.constData(), bytes.data(), qMin(bytes.size(), prefixSize));
    return bytes;
}

QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::Name);
}

} // namespace

class TestDecryptTask : public QObject
{
    Q_OBJECT

private slots:
    void decryptsOnlyTheLeadingMegabyte_data();
    void decryptsOnlyTheLeadingMegabyte();
    void failuresLogAndLeaveNoCopy_data();
    void failuresLogAndLeaveNoCopy();
    void tailFromAnotherFileSystem();
    void finalNameOnlyOnceComplete();
    void writeFailureLeavesNoCopy_data();
    void writeFailureLeavesNoCopy();
};

void TestDecryptTask::decryptsOnlyTheLeadingMegabyte_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("key");
    const QByteArray builtIn = Constants::videoKey();
    QTest::newRow("empty") << 0 << builtIn;
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
    const QByteArray plain = patternBytes(size, std::uint32_t(size));
    // The stored form: the leading megabyte enciphered, the rest as is. The
    // megabyte is spelled out here, not taken from the code under test.
    QByteArray stored = plain;
    Rc4Cipher(key).encrypt(stored.constData(), stored.data(), qMin(size, prefixSize));
    QVERIFY(TestFiles::write(dir.filePath("situation.mp4"), stored));
    // A longer copy of an earlier run is replaced whole.
    QVERIFY(TestFiles::write(dir.filePath("plain.mp4"), patternBytes(size + 5000, 12)));

    DecryptTask(dir.filePath("situation.mp4"), dir.filePath("plain.mp4"), key).run();

    QVERIFY2(TestFiles::read(dir.filePath("plain.mp4")) == plain, "decrypted copy differs from the original video");
    // Nothing but the source and the finished copy may remain.
    QCOMPARE(entries(dir), QStringList({"plain.mp4", "situation.mp4"}));
}

void TestDecryptTask::failuresLogAndLeaveNoCopy_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing source") << "absent.mp4" << "out.mp4" << "^Can't open file to decrypt: %1$";
    QTest::newRow("missing output folder") << "in.mp4" << "no/such/out.mp4"
                                           << "^Can't open file to write decrypted data$";
    // A regular file in the folder's place defeats even a privileged user.
    QTest::newRow("file in place of the folder") << "in.mp4" << "blocker/out.mp4"
                                                 << "^Can't open file to write decrypted data$";
    // Opening the process's own memory image succeeds but reading from
    // offset 0 fails, which stands in for a disk error in mid-copy.
    QTest::newRow("unreadable source") << "/proc/self/mem" << "out.mp4" << "^Can't read file to decrypt: /proc/self/mem";
}

void TestDecryptTask::failuresLogAndLeaveNoCopy()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, message);
    if (input.startsWith('/') && !QFile(input).open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/mem to stand in for an unreadable source");
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("in.mp4"), patternBytes(100, 1)));
    QVERIFY(TestFiles::write(dir.filePath("blocker"), QByteArray("x")));
    const QString source = QDir(dir.path()).filePath(input);
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(message.replace("%1", QRegularExpression::escape(source))));

    DecryptTask(source, dir.filePath(output)).run();

    QCOMPARE(entries(dir), QStringList({"blocker", "in.mp4"}));
}

// The kernel refuses to copy between two file systems; the tail then goes
// through this process and must come out the same.
void TestDecryptTask::tailFromAnotherFileSystem()
{
    QTemporaryDir other(QStringLiteral("/dev/shm/tst_decrypttask-XXXXXX"));
    QTemporaryDir dir;
    struct stat otherInfo, dirInfo;
    if (!other.isValid() || ::stat(qPrintable(other.path()), &otherInfo) != 0
        || ::stat(qPrintable(dir.path()), &dirInfo) != 0 || otherInfo.st_dev == dirInfo.st_dev)
        QSKIP("no second file system in /dev/shm");
    const QByteArray plain = patternBytes(3 * prefixSize + 777, 5);
    QVERIFY(TestFiles::write(other.filePath("situation.mp4"), stored(plain)));

    DecryptTask(other.filePath("situation.mp4"), dir.filePath("plain.mp4")).run();

    QVERIFY2(TestFiles::read(dir.filePath("plain.mp4")) == plain, "copy across file systems differs");
    QCOMPARE(entries(dir), QStringList({"plain.mp4"}));
}

// Fed through a pipe, the task is held in mid-copy: the part written so far
// must lie under another name, and the final name appear with all of it.
void TestDecryptTask::finalNameOnlyOnceComplete()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("situation.mp4");
    QVERIFY(::mkfifo(qPrintable(fifo), 0600) == 0);
    const QByteArray plain = patternBytes(2 * prefixSize + 4321, 9);
    const QByteArray bytes = stored(plain);
    const QString target = dir.filePath("plain.mp4");
    QThreadPool pool;
    pool.start(new DecryptTask(fifo, target));

    const int writer = ::open(qPrintable(fifo), O_WRONLY);
    QVERIFY(writer >= 0);
    const int firstPart = prefixSize + 1000;
    for (int done = 0; done < firstPart;) {
        const ssize_t n = ::write(writer, bytes.constData() + done, size_t(firstPart - done));
        QVERIFY(n > 0);
        done += int(n);
    }
    // The deciphered prefix has reached the disk, under a temporary name.
    QTRY_VERIFY_WITH_TIMEOUT(entries(dir).size() == 2
                                 && QFileInfo(dir.filePath(entries(dir).constFirst())).size() >= prefixSize,
                             20000);
    QVERIFY(entries(dir).constFirst().startsWith("plain.mp4."));
    QVERIFY(!QFileInfo::exists(target));

    for (int done = firstPart; done < bytes.size();) {
        const ssize_t n = ::write(writer, bytes.constData() + done, size_t(bytes.size() - done));
        QVERIFY(n > 0);
        done += int(n);
    }
    ::close(writer);
    QVERIFY(pool.waitForDone(60000));
    QVERIFY2(TestFiles::read(target) == plain, "decrypted copy differs from the original video");
    QCOMPARE(entries(dir), QStringList({"plain.mp4", "situation.mp4"}));
}

void TestDecryptTask::writeFailureLeavesNoCopy_data()
{
    QTest::addColumn<int>("limit");
    QTest::newRow("inside the prefix") << prefixSize / 2;
    QTest::newRow("inside the tail") << prefixSize + prefixSize / 2;
}

// A file size limit makes the disk refuse the copy part-way, as a full
// disk would: the failure is reported and no copy stays, under either name.
void TestDecryptTask::writeFailureLeavesNoCopy()
{
    QFETCH(int, limit);
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("in.mp4"), stored(patternBytes(3 * prefixSize, 3))));
    const QString target = dir.filePath("out.mp4");
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression("^Can't write decrypted data: " + QRegularExpression::escape(target)));

    struct rlimit saved;
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = rlim_t(limit);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    DecryptTask(dir.filePath("in.mp4"), target).run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(entries(dir), QStringList({"in.mp4"}));
}

QTEST_GUILESS_MAIN(TestDecryptTask)
#include "tst_decrypttask.moc"
