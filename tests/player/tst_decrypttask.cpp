#include "DecryptTask.h"

#include "Rc4Cipher.h"
#include "TestFiles.h"

#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>

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

QTEST_GUILESS_MAIN(TestDecryptTask)
#include "tst_decrypttask.moc"
