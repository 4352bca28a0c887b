#include "AesCipher.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "InfoConfirmMessage.h"
#include "ReviewMessage.h"
#include "StdoutCapture.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray reviewFrame(const QByteArray &text)
{
    ReviewMessage review;
    review.setText(text);
    AesCipher cipher;
    return FrameCodec::buildFrame(review, cipher);
}

// The type, the type on the wire and the plain payload of each delivery.
struct Delivered
{
    QList<int> types, wireTypes;
    QList<QByteArray> payloads;

    FrameCodec::Delivery sink()
    {
        return [this](BaseMessage &message, quint8 wireType) {
            types.append(message.type());
            wireTypes.append(wireType);
            payloads.append(message.payload());
        };
    }
};

} // namespace

class TestFrameCodec : public QObject
{
    Q_OBJECT
private slots:
    void plainFrameLayout()
    {
        ContestNameMessage request;
        AesCipher cipher;
        QCOMPARE(FrameCodec::buildFrame(request, cipher).toHex(), hex("000c08 000000000000000000").toHex());
    }

    void twoFramesAndAHalf()
    {
        const QByteArray first = reviewFrame("5;4|1;2|7;8");
        const QByteArray second = reviewFrame("");
        const QByteArray third = reviewFrame("third frame text");
        const int half = third.size() / 2;
        AesCipher cipher;
        Delivered seen;
        QByteArray accumulator = first + second + third.left(half);
        // The line for a frame still in pieces is a trace of the net category.
        QLoggingCategory::setFilterRules(QStringLiteral("hazard.net.debug=true"));
        StdoutCapture capture;
        FrameCodec::Reassembly outcome = FrameCodec::reassemble(accumulator, cipher, seen.sink());
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(capture.finish(), QByteArray("Message length is not enough\n"));
        QCOMPARE(outcome.delivered, 2);
        QCOMPARE(outcome.kept, half);
        QCOMPARE(seen.payloads, (QList<QByteArray>{first.mid(3), second.mid(3)}));
        QCOMPARE(accumulator, third.left(half));
        StdoutCapture byDefault;
        QCOMPARE(FrameCodec::reassemble(accumulator, cipher, seen.sink()).kept, half);
        QCOMPARE(byDefault.finish(), QByteArray());

        accumulator += third.mid(half);
        StdoutCapture quiet;
        outcome = FrameCodec::reassemble(accumulator, cipher, seen.sink());
        QCOMPARE(quiet.finish(), QByteArray());
        QCOMPARE(outcome.kept, 0);
        QCOMPARE(seen.types, (QList<int>{9, 9, 9}));
        QCOMPARE(seen.payloads.at(2), third.mid(3));
        QVERIFY(accumulator.isEmpty());
    }

    void limitedReassemblyKeepsTheRest()
    {
        const QByteArray frame = reviewFrame("turn");
        const QByteArray partial = frame.left(5);
        QByteArray accumulator = frame + frame + frame + partial;
        AesCipher cipher;
        Delivered seen;
        StdoutCapture capture;
        FrameCodec::Reassembly outcome = FrameCodec::reassemble(accumulator, cipher, seen.sink(), 2);
        // Stopping at the limit is not a short frame: no line.
        QCOMPARE(capture.finish(), QByteArray());
        QCOMPARE(outcome.delivered, 2);
        QCOMPARE(outcome.kept, frame.size() + partial.size());
        QCOMPARE(accumulator, frame + partial);
    }

    void unusableFrameDropsEverything_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::addColumn<QByteArray>("line");
        for (const char *length : {"000009", "000109", "000209"})
            QTest::addRow("length %c", length[3]) << hex(length) << QByteArray("Message length is invalid\n");
        QTest::newRow("unknown type") << hex("00040cff") << QByteArray("Create message failed. Message type = 12\n");
        // A review declaring 9 text bytes but holding 2.
        QTest::newRow("text past the end") << hex("0009 09 00000009 4142")
                                           << QByteArray("Parse message failed. Message type = 9\n");
        QTest::newRow("ciphertext not whole blocks")
            << hex("003c 65 00") + QByteArray(56, '\x11') << QByteArray("Parse message failed. Message type = 101\n");
        AesCipher cipher;
        QByteArray padded = FrameCodec::buildFrame(InfoConfirmMessage(true), cipher);
        padded[3] = char(17);
        QTest::newRow("pad larger than the ciphertext")
            << padded << QByteArray("Parse message failed. Message type = 103\n");
    }

    void unusableFrameDropsEverything()
    {
        QFETCH(QByteArray, bad);
        QFETCH(QByteArray, line);
        // What came before the bad frame is delivered; it and all after it go.
        const QByteArray good = reviewFrame("ok");
        QByteArray accumulator = good + bad + good;
        AesCipher cipher;
        Delivered seen;
        StdoutCapture capture;
        const FrameCodec::Reassembly outcome = FrameCodec::reassemble(accumulator, cipher, seen.sink());
        QCOMPARE(capture.finish(), line);
        QCOMPARE(seen.types, QList<int>{9});
        QVERIFY(accumulator.isEmpty());
        QCOMPARE(outcome.dropped, bad.size() + good.size());
        QVERIFY(outcome.failed());
    }

    void encryptedLayout_data()
    {
        QTest::addColumn<int>("imageBytes");
        QTest::addColumn<int>("pad");
        QTest::addColumn<int>("frameLength");
        // The fixed part of a candidate answer is 24 bytes.
        QTest::newRow("24 bytes: pad 8") << 0 << 8 << 52;
        QTest::newRow("32 bytes: pad 0") << 8 << 0 << 52;
        QTest::newRow("33 bytes: pad 15") << 9 << 15 << 68;
    }

    void encryptedLayout()
    {
        QFETCH(int, imageBytes);
        QFETCH(int, pad);
        QFETCH(int, frameLength);
        EnterResponseMessage response(true);
        response.setCode(2);
        response.setId(77);
        response.setImage(QByteArray(imageBytes, 'i'));
        const QByteArray plain = response.payload();
        AesCipher cipher;
        cipher.setKey(hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"));
        const QByteArray iv = hex("f0e0d0c0b0a090807060504030201000");
        const QByteArray frame = FrameCodec::buildFrame(response, cipher, iv);
        // Length, wire type, pad count.
        QCOMPARE(frame.left(4).toHex(), QByteArray::number(frameLength * 0x10000 + 101 * 0x100 + pad, 16).rightJustified(8, '0'));
        QCOMPARE(frame.mid(4, 16), iv);

        // The ciphertext is the plain payload and its zero fill, nothing else.
        QByteArray body = frame.mid(20);
        QVERIFY(cipher.decrypt(iv, body.data(), body.size()));
        QCOMPARE(body, plain + QByteArray(pad, '\0'));

        Delivered seen;
        QByteArray accumulator = frame;
        FrameCodec::reassemble(accumulator, cipher, seen.sink());
        // Decrypted, it reports its plain type; the wire type tells how it came.
        QCOMPARE(seen.types, QList<int>{5});
        QCOMPARE(seen.wireTypes, QList<int>{101});
        QCOMPARE(seen.payloads, QList<QByteArray>{plain});
    }

    void freshIvPerFrame()
    {
        AesCipher cipher;
        InfoConfirmMessage confirm(true);
        const QByteArray first = FrameCodec::buildFrame(confirm, cipher);
        const QByteArray second = FrameCodec::buildFrame(confirm, cipher);
        QVERIFY(first.mid(4, 16) != second.mid(4, 16));
        QVERIFY(first.mid(20) != second.mid(20));
        // The shared IV of the cipher is not disturbed by sending.
        QCOMPARE(cipher.iv(), AesCipher().iv());
    }

    void oversizeFrameIsRefused_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<int>("textBytes");
        QTest::addColumn<bool>("fits");
        // Plain review: 7 + n bytes.
        QTest::newRow("plain 65535") << false << 65528 << true;
        QTest::newRow("plain 65536") << false << 65529 << false;
        // Encrypted result: 20 + C, C = 21 + n rounded up to 16.
        QTest::newRow("encrypted 65524") << true << 65483 << true;
        QTest::newRow("encrypted 65540") << true << 65484 << false;
    }

    void oversizeFrameIsRefused()
    {
        QFETCH(bool, encrypted);
        QFETCH(int, textBytes);
        QFETCH(bool, fits);
        AesCipher cipher;
        ContestResultMessage result(true);
        result.setDetail(QByteArray(textBytes, 'd'));
        ReviewMessage review;
        review.setText(QByteArray(textBytes, 't'));
        StdoutCapture capture;
        const QByteArray frame = encrypted ? FrameCodec::buildFrame(result, cipher) : FrameCodec::buildFrame(review, cipher);
        const QByteArray output = capture.finish();
        if (fits) {
            QCOMPARE(quint8(frame[0]) * 256 + quint8(frame[1]), frame.size());
            QCOMPARE(output, QByteArray());
        } else {
            QVERIFY(frame.isEmpty());
            QVERIFY2(output.startsWith("Message too long to send. Message type = "), output.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
