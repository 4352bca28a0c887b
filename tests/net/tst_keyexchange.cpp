#include "KeyExchange.h"

#include <QtTest>

// Expected values were computed independently with Python's hashlib:
//   md5(md5(secret).digest() + challenge) and
//   pbkdf2_hmac('sha1', secret + challenge, secret, 5, 32).
class TestKeyExchange : public QObject
{
    Q_OBJECT
private slots:
    void derivedValues_data()
    {
        QTest::addColumn<QByteArray>("challenge");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("00..0f") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f") << QByteArray("94b44e8856c6949e1e0a141f78cc73c9")
                                << QByteArray("91f33021705f8404dc0428b7f7128c2e"
                                              "82d2b090d0e7f97d6d7f646c6294495c");
        QTest::newRow("all ff") << QByteArray(16, char(0xff))
                                << QByteArray("e7af3090458c47f5b6d7e6b982d973e4")
                                << QByteArray("8cbd8fca7c04b8c9e9f8f3be861cbf71"
                                              "0dc345367525c62ae4fb392573bda84b");
    }

    void derivedValues()
    {
        QFETCH(QByteArray, challenge);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, key);
        const QByteArray secret("0df3fc47fc0986172a8c7ffc3750e4c34b112727411e66c1537d49937");

        QCOMPARE(KeyExchange::challengeAnswer(secret, challenge).toHex(), answer);
        QCOMPARE(KeyExchange::sessionKey(secret, challenge).toHex(), key);
    }

    void secretIsTheHexTextItself()
    {
        const QByteArray secret = KeyExchange::secret();
        QCOMPARE(secret.size(), 57);
        for (char c : secret)
            QVERIFY2((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'), secret.constData());
    }
};

QTEST_GUILESS_MAIN(TestKeyExchange)
#include "tst_keyexchange.moc"
