#include "AesCipher.h"

#include <QtTest>

// Known answers from NIST SP 800-38A, F.2.5 and F.2.6 (CBC-AES256).
namespace {
const QByteArray nistKey = QByteArray::fromHex(
    "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray nistIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray nistPlain = QByteArray::fromHex(
    "6bc1bee22e409f96e93d7e117393172a" "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef" "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray nistCipher = QByteArray::fromHex(
    "f58c4c04d6e5f1ba779eabfb5f7bfbd6" "9cfc4e967edb808d679f777bc6702c7d"
    "39f23369a9d9bacfa530e26304231461" "b2eb05e2c39be9fcda6c19078c6a9d1b");
} // namespace

class TestAesCipher : public QObject
{
    Q_OBJECT
private slots:
    void nistWithStoredIv_data();
    void nistWithStoredIv();
    void ivArgumentLeavesStoredIv();
    void shortKeyAndIvAreIgnored();
    void partialBlocksAreRefused_data();
    void partialBlocksAreRefused();
};

void TestAesCipher::nistWithStoredIv_data()
{
    QTest::addColumn<int>("blocks");
    QTest::newRow("one block") << 1;
    QTest::newRow("four blocks") << 4;
}

void TestAesCipher::nistWithStoredIv()
{
    QFETCH(int, blocks);
    AesCipher cipher;
    cipher.setKey(nistKey);
    cipher.setIV(nistIv);

    QByteArray buffer = nistPlain.left(16 * blocks);
    QVERIFY(cipher.encrypt(buffer.data(), buffer.size()));
    QCOMPARE(buffer.toHex(), nistCipher.left(16 * blocks).toHex());
    QVERIFY(cipher.decrypt(buffer.data(), buffer.size()));
    QCOMPARE(buffer.toHex(), nistPlain.left(16 * blocks).toHex());
    QCOMPARE(cipher.iv(), nistIv);
}

void TestAesCipher::ivArgumentLeavesStoredIv()
{
    const QByteArray stored(16, char(0x5a));
    AesCipher cipher;
    cipher.setKey(nistKey);
    cipher.setIV(stored);
    QByteArray buffer = nistPlain;
    QVERIFY(cipher.encrypt(nistIv, buffer.data(), buffer.size()));
    QCOMPARE(buffer.toHex(), nistCipher.toHex());
    QVERIFY(cipher.decrypt(nistIv, buffer.data(), buffer.size()));
    QCOMPARE(buffer.toHex(), nistPlain.toHex());
    QCOMPARE(cipher.iv(), stored);
}

void TestAesCipher::shortKeyAndIvAreIgnored()
{
    AesCipher cipher;
    cipher.setKey(nistKey);
    cipher.setIV(nistIv);
    cipher.setKey(nistKey.left(31));
    cipher.setIV(nistIv.left(15));
    QCOMPARE(cipher.key(), nistKey);
    QCOMPARE(cipher.iv(), nistIv);

    // Only the first 32 and 16 bytes count.
    cipher.setKey(nistKey + "extra");
    cipher.setIV(nistIv + "extra");
    QCOMPARE(cipher.key(), nistKey);
    QCOMPARE(cipher.iv(), nistIv);
}

void TestAesCipher::partialBlocksAreRefused_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("15") << 15;
    QTest::newRow("17") << 17;
    QTest::newRow("-16") << -16;
}

void TestAesCipher::partialBlocksAreRefused()
{
    QFETCH(int, count);
    AesCipher cipher;
    QByteArray buffer(64, 'x');
    QVERIFY(!cipher.encrypt(buffer.data(), count));
    QVERIFY(!cipher.decrypt(nistIv, buffer.data(), count));
    QVERIFY(!cipher.encrypt(QByteArray(8, 'i'), buffer.data(), 16));
}

QTEST_GUILESS_MAIN(TestAesCipher)
#include "tst_aescipher.moc"
