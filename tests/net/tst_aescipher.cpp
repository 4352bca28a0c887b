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
    void nistKnownAnswers_data()
    {
        QTest::addColumn<int>("blocks");
        QTest::addColumn<bool>("ivGiven");
        QTest::newRow("one block") << 1 << false;
        QTest::newRow("four blocks") << 4 << false;
        QTest::newRow("four blocks, IV given") << 4 << true;
    }

    // Either way the stored IV stays as it was set.
    void nistKnownAnswers()
    {
        QFETCH(int, blocks);
        QFETCH(bool, ivGiven);
        const QByteArray stored = ivGiven ? QByteArray(16, char(0x5a)) : nistIv;
        AesCipher cipher;
        cipher.setKey(nistKey);
        cipher.setIV(stored);
        QByteArray buffer = nistPlain.left(16 * blocks);
        QVERIFY(ivGiven ? cipher.encrypt(nistIv, buffer.data(), buffer.size()) : cipher.encrypt(buffer.data(), buffer.size()));
        QCOMPARE(buffer.toHex(), nistCipher.left(16 * blocks).toHex());
        QVERIFY(ivGiven ? cipher.decrypt(nistIv, buffer.data(), buffer.size()) : cipher.decrypt(buffer.data(), buffer.size()));
        QCOMPARE(buffer.toHex(), nistPlain.left(16 * blocks).toHex());
        QCOMPARE(cipher.iv(), stored);
    }

    // A short key or IV is ignored; of a long one the first 32 and 16 bytes count.
    void keyAndIvLengths()
    {
        AesCipher cipher;
        cipher.setKey(nistKey);
        cipher.setIV(nistIv);
        cipher.setKey(nistKey.left(31));
        cipher.setIV(nistIv.left(15));
        QCOMPARE(cipher.key(), nistKey);
        QCOMPARE(cipher.iv(), nistIv);
        cipher.setKey(nistKey + "extra");
        cipher.setIV(QByteArray(16, 'i') + "extra");
        QCOMPARE(cipher.key(), nistKey);
        QCOMPARE(cipher.iv(), QByteArray(16, 'i'));
    }

    void partialBlocksAreRefused()
    {
        AesCipher cipher;
        QByteArray buffer(64, 'x');
        for (int count : {15, 17, -16}) {
            QVERIFY(!cipher.encrypt(buffer.data(), count));
            QVERIFY(!cipher.decrypt(nistIv, buffer.data(), count));
        }
        QVERIFY(!cipher.encrypt(QByteArray(8, 'i'), buffer.data(), 16));
    }
};

QTEST_GUILESS_MAIN(TestAesCipher)
#include "tst_aescipher.moc"
