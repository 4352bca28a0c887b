#include "Rc4Cipher.h"

#include <QtTest>

// Published RC4 key-stream vectors: encrypting zeros yields the key stream,
// so each row checks 16 bytes at a given offset of the stream.
class TestRc4Cipher : public QObject
{
    Q_OBJECT

private slots:
    void keyStreamVectors_data();
    void keyStreamVectors();
    void inPlaceAndNonPositiveLengths();
};

void TestRc4Cipher::keyStreamVectors_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray k40 = QByteArray::fromHex("0102030405");
    const QByteArray k128 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
    const QByteArray k256 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
    QTest::newRow("40-bit @0") << k40 << 0 << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
    QTest::newRow("40-bit @256") << k40 << 256 << QByteArray::fromHex("1cfcf62b03eddb641d77dfcf7f8d8c93");
    QTest::newRow("128-bit @0") << k128 << 0 << QByteArray::fromHex("9ac7cc9a609d1ef7b2932899cde41b97");
    QTest::newRow("128-bit @4096") << k128 << 4096 << QByteArray::fromHex("a36a4c301ae8ac13610ccbc12256cacc");
    QTest::newRow("256-bit @0") << k256 << 0 << QByteArray::fromHex("eaa6bd25880bf93d3f5d1e4ca2611d91");
}

void TestRc4Cipher::keyStreamVectors()
{
    QFETCH(QByteArray, key);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);

    // Every call starts the key stream afresh, whichever way it goes.
    Rc4Cipher cipher(key);
    const QByteArray zeros(offset + expected.size(), '\0');
    QByteArray stream(zeros.size(), '\x55');
    cipher.encrypt(zeros.constData(), stream.data(), stream.size());
    QCOMPARE(stream.mid(offset).toHex(), expected.toHex());
    cipher.decrypt(zeros.constData(), stream.data(), stream.size());
    QCOMPARE(stream.mid(offset).toHex(), expected.toHex());
}

void TestRc4Cipher::inPlaceAndNonPositiveLengths()
{
    Rc4Cipher cipher(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
    const QByteArray input(3000, '\x5a');
    QByteArray separate(input.size(), '\0');
    cipher.encrypt(input.constData(), separate.data(), input.size());
    QByteArray inPlace = input;
    cipher.encrypt(inPlace.constData(), inPlace.data(), inPlace.size());
    QCOMPARE(inPlace, separate);
    QVERIFY(separate != input);

    // A length of zero or less writes nothing.
    QByteArray output(8, 'x');
    cipher.encrypt(input.constData(), output.data(), 0);
    cipher.decrypt(input.constData(), output.data(), -5);
    QCOMPARE(output, QByteArray(8, 'x'));
}

QTEST_GUILESS_MAIN(TestRc4Cipher)
#include "tst_rc4cipher.moc"
