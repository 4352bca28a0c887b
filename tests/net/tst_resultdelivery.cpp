#include "ResultDelivery.h"

#include "ResultLink.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

// The link as result delivery sees it: every frame queued is written down as
// "<connection>:R<seq>" for a result or "<connection>:B<n>" for the n-th
// course list request of that connection.
class FakeLink : public ResultLink
{
public:
    quint64 connection() const override { return current; }
    bool isConnected() const override { return up; }
    bool sendChecked(const ResultOutbox::Entry &result) override
    {
        frames << QStringLiteral("%1:R%2").arg(current).arg(result.seq);
        return check ? check() : true;
    }
    bool send(const ResultOutbox::Entry &result) override
    {
        frames << QStringLiteral("%1:R%2").arg(current).arg(result.seq);
        return true;
    }
    Mark requestCourseList() override
    {
        frames << QStringLiteral("%1:B%2").arg(current).arg(++requests);
        return Mark{current, requests};
    }
    Mark courseListAnswer() const override { return answer; }

    void reconnect()
    {
        ++current;
        requests = 0;
        up = true;
    }

    quint64 current = 1;
    quint64 requests = 0;
    bool up = true;
    // What happens during the delivery check; none: the link stands.
    std::function<bool()> check;
    Mark answer;
    QStringList frames;
};

ResultOutbox::Entry result(qint32 candidateId)
{
    ResultOutbox::Entry entry;
    entry.totalScore = 25;
    entry.passScore = 35;
    entry.candidateId = candidateId;
    entry.contestCode = "K1";
    entry.detail = "5;0|1;0|1;2";
    return entry;
}

} // namespace

class TestResultDelivery : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_path = m_dir->filePath(QLatin1String(ResultOutbox::fileName));
    }

    void deliveredWhenTheBarrierIsAnswered()
    {
        FakeLink link;
        ResultDelivery delivery(m_path, &link);
        QTest::ignoreMessage(QtInfoMsg, "Result 1 (candidate 7, course K1) written to the outbox");
        QTest::ignoreMessage(QtInfoMsg, "Result 1 sent");
        delivery.deliver(result(7));
        QCOMPARE(link.frames, (QStringList{"1:R1", "1:B1"}));
        QCOMPARE(delivery.outbox()->undeliveredCount(), 1);

        // Nothing was asked of the window on the barrier's answer; a later
        // course list is the window's own.
        link.answer = {1, 1};
        QTest::ignoreMessage(QtInfoMsg, "Result 1 delivered");
        QVERIFY(delivery.takeCourseList());
        QCOMPARE(delivery.outbox()->undeliveredCount(), 0);
        QCOMPARE(QFileInfo(m_path).size(), 0);
        link.answer = {1, 2};
        QVERIFY(!delivery.takeCourseList());
    }

    // What the delivery check leaves behind, and what the next key exchange
    // then sends on the new connection.
    void afterTheDeliveryCheck_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QStringList>("afterCheck");
        QTest::addColumn<QStringList>("afterKey");
        QTest::newRow("link stands") << "stands" << QStringList{"1:R1", "1:B1"} << QStringList{};
        QTest::newRow("link fell right after") << "fell" << QStringList{"1:R1"} << QStringList{"2:R1", "2:B1"};
        QTest::newRow("not framed, no reconnection") << "refused" << QStringList{"1:R1"} << QStringList{"2:R1", "2:B1"};
        // The key exchange sends the link's own queue, the result with it.
        QTest::newRow("reconnected, not yet keyed") << "reconnected" << QStringList{"1:R1"} << QStringList{"2:B1"};
        QTest::newRow("reconnected and keyed during the check") << "keyed" << QStringList{"1:R1", "2:B1"} << QStringList{};
    }

    void afterTheDeliveryCheck()
    {
        QFETCH(QString, check);
        QFETCH(QStringList, afterCheck);
        QFETCH(QStringList, afterKey);
        FakeLink link;
        ResultDelivery delivery(m_path, &link);
        link.check = [&] {
            if (check == QLatin1String("fell"))
                link.up = false;
            if (check == QLatin1String("reconnected") || check == QLatin1String("keyed"))
                link.reconnect();
            if (check == QLatin1String("keyed"))
                delivery.keyExchanged();
            return check == QLatin1String("stands") || check == QLatin1String("fell");
        };
        delivery.deliver(result(7));
        QCOMPARE(link.frames, afterCheck);

        if (!afterKey.isEmpty()) {
            link.frames.clear();
            if (check != QLatin1String("reconnected"))
                link.reconnect();
            delivery.keyExchanged();
            QCOMPARE(link.frames, afterKey);
        }
        link.answer = {link.current, 1};
        QVERIFY(delivery.takeCourseList());
        QCOMPARE(delivery.outbox()->undeliveredCount(), 0);
    }

    // The station went before it learned that the server had the result; a
    // write cut short and a damaged line are in the file too.
    void resultOfAnEarlierRunIsSentAfterTheKeyExchange()
    {
        ResultOutbox(m_path).append(result(7));
        {
            QFile damaged(m_path);
            QVERIFY(damaged.open(QIODevice::Append));
            damaged.write("R 7 not a result\nR 8 20 35 0 ");
        }
        FakeLink link;
        ResultDelivery delivery(m_path, &link);
        QCOMPARE(delivery.outbox()->undeliveredCount(), 1);
        // Nothing written later may be glued to the end of a cut-off line.
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n'));

        delivery.keyExchanged();
        QCOMPARE(link.frames, (QStringList{"1:R1", "1:B1"}));
        // Lost before the answer: the barrier of the old link is dropped and
        // the result sent again on the new one.
        link.reconnect();
        delivery.keyExchanged();
        QCOMPARE(link.frames, (QStringList{"1:R1", "1:B1", "2:R1", "2:B1"}));
        link.answer = {1, 1};
        QVERIFY(!delivery.takeCourseList());
        link.answer = {2, 1};
        QVERIFY(delivery.takeCourseList());
        QCOMPARE(delivery.outbox()->undeliveredCount(), 0);
    }

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestResultDelivery)
#include "tst_resultdelivery.moc"
