#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "MessageFactory.h"
#include "ReviewMessage.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT
private slots:
    void parsedBytes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("length");
        QTest::newRow("1 start") << 1 << QByteArray("a.mp4") << 8;
        QTest::newRow("2 chunk") << 2 << hex("00 01 02 ff") << 7;
        QTest::newRow("3 end") << 3 << QByteArray() << 3;
        const QByteArray enter = hex("00000002 00000006 4232 303132333435");
        QTest::newRow("4 enter") << 4 << enter << 19;
        QTest::newRow("100 enter") << 100 << enter << 19;
        const QByteArray response = hex("ffffffff 00000002 0000004d 00000003 00000002 00000004"
                                        "313233 416e 51554a44");
        QTest::newRow("5 response") << 5 << response << 36;
        QTest::newRow("101 response") << 101 << response << 36;
        const QByteArray result = hex("0000002a 00000023 01 0000004d 00000002 0000000b 4232"
                                      "353b347c313b327c373b38");
        QTest::newRow("6 result") << 6 << result << 37;
        QTest::newRow("102 result") << 102 << result << 37;
        QTest::newRow("7 confirm") << 7 << hex("01 0000004d 01") << 9;
        QTest::newRow("103 confirm") << 103 << hex("01 0000004d 01") << 9;
        QTest::newRow("8 courses") << 8
                                   << hex("01 00000004 00000009 42323b43 4361723b547275636b") << 25;
        QTest::newRow("9 review") << 9 << hex("0000000b 353b347c313b327c373b38") << 18;
        QTest::newRow("10 challenge") << 10 << hex("000102030405060708090a0b0c0d0e0f") << 19;
        QTest::newRow("11 answer") << 11 << hex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf") << 19;
    }

    void parsedBytes()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, payload);
        QFETCH(int, length);

        std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(type);
        QCOMPARE(int(message->type()), type);
        QCOMPARE(message->parse(payload.constData(), payload.size()), 0);
        QCOMPARE(int(message->length()), length);
        QCOMPARE(message->payload().toHex(), payload.toHex());
    }

    void refusedPayloads_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("parsed");
        // The shortest payload refused, and one byte more accepted.
        const QList<QPair<int, int>> shortest = {{1, 0}, {2, 0}, {4, 7}, {5, 23}, {6, 20},
                                                 {7, 5}, {8, 8}, {9, 3}, {10, 15}, {11, 15}};
        for (const auto &row : shortest) {
            QTest::addRow("%d of %d bytes", row.first, row.second) << row.first << QByteArray(row.second, '\0') << -1;
            QTest::addRow("%d of %d bytes", row.first, row.second + 1)
                << row.first << QByteArray(row.second + 1, '\0') << 0;
        }
        QTest::newRow("enter 50 declared, 20 held")
            << 4 << hex("00000032 00000000") + QByteArray(20, 'x') << -1;
        QTest::newRow("enter second text one short") << 4 << hex("00000001 00000002 41 42") << -1;
        QTest::newRow("courses huge code") << 8 << hex("01 7fffffff 00000000 4142") << -1;
        QTest::newRow("response lengths overflowing 32 bits")
            << 5 << hex("00000000 00000000 00000000 7fffffff 7fffffff 00000004") + QByteArray(8, 'x') << -1;
        QTest::newRow("result detail one short") << 6 << hex("00000000 00000000 00 00000000"
                                                             "00000000 00000003 4142") << -1;
        QTest::newRow("review 5 declared, 4 held") << 9 << hex("00000005 41424344") << -1;
    }

    void refusedPayloads()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, payload);
        QFETCH(int, parsed);
        QCOMPARE(MessageFactory::instance()->createMessage(type)->parse(payload.constData(), payload.size()), parsed);
    }

    void emptyAndFailedParses()
    {
        // A negative text length reads as an empty text.
        const QByteArray payload = hex("fffffffb 00000002 6162");
        ContestEnterMessage enter;
        QCOMPARE(enter.parse(payload.constData(), payload.size()), 0);
        QCOMPARE(enter.contestCode() + '/' + enter.candidateNumber(), QByteArray("/ab"));
        ReviewMessage review;
        review.setText(QByteArray("old"));
        QCOMPARE(review.parse("\0\0\0\0", 4), 0);
        QCOMPARE(review.text(), QByteArray());
        // A failed parse leaves the fields as they were.
        ContestNameMessage names;
        names.setContestCode(QByteArray("B2"));
        const QByteArray overlong = hex("01 00000010 00000000 4142");
        QCOMPARE(names.parse(overlong.constData(), overlong.size()), -1);
        QCOMPARE(names.contestCode(), QByteArray("B2"));
    }

    void settersKeepLengthCurrent()
    {
        ContestResultMessage result(true);
        result.setDetail(QByteArray(100, 'd'));
        result.setContestCode(QByteArray("B11"));
        QCOMPARE(int(result.length()), 127);
        // A destination one byte short of the frame is refused.
        QByteArray buffer(200, '\0');
        QCOMPARE(result.serialize(buffer.data(), result.frameLength() - 4), -1);
        QCOMPARE(result.serialize(buffer.data(), result.frameLength() - 3), 0);
        result.setDetail(nullptr, 5);
        QCOMPARE(int(result.length()), 27);
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
