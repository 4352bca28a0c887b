#include "ProgressStore.h"
#include "StatisticsPage.h"

#include <QTableWidget>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>
#include <QtTest>

// The statistics page on a seeded progress file: it shows the store's
// figures per chapter and the finished mock examinations against the pass
// line.
class TstStatisticsPage : public QObject
{
    Q_OBJECT

private slots:
    void showsTheStoresFigures()
    {
        QTemporaryDir dir;
        ProgressStore store;
        QCOMPARE(store.open(dir.filePath(QStringLiteral("progress.db"))), ProgressStore::Opened);
        const QDateTime t0 = QDateTime::fromString(QStringLiteral("2024-03-01T09:00:00"), Qt::ISODate);
        auto attempt = [&](int situation, int score, qint64 mock = 0) {
            ProgressStore::Attempt a;
            a.situationId = situation;
            a.score = score;
            a.flagTime = score > 0 ? 1000 : 0;
            a.when = t0;
            a.mockId = mock;
            return store.recordAttempt(a);
        };
        // Chapter 1: situation 1 best 5 (5, 3), situation 2 best 2, 3 untried.
        QVERIFY(attempt(1, 5) && attempt(1, 3) && attempt(2, 2));
        // Two finished mock examinations and one given up half-way.
        const QList<QPair<QDateTime, QList<int>>> mocks = {
            {t0.addDays(1), {5, 5, 4, 3, 3, 2, 2, 2, 2, 2}}, // 30
            {t0.addDays(3), {5, 5, 5, 5, 4, 4, 4, 4, 2, 2}}, // 40
        };
        for (const auto &mock : mocks) {
            const qint64 id = store.beginMock(mock.first);
            QVERIFY(id > 0);
            for (int i = 0; i < mock.second.size(); ++i)
                QVERIFY(attempt(100 + i, mock.second.at(i), id));
            QVERIFY(store.finishMock(id));
        }
        const qint64 abandoned = store.beginMock(t0.addDays(4));
        QVERIFY(attempt(100, 5, abandoned));

        StatisticsPage page;
        page.refresh(&store, {{1, 2, 3}, {4, 5}});
        QTableWidget *table = page.chapterTable();
        QCOMPARE(table->rowCount(), 2);
        auto row = [table](int r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
            return cells;
        };
        // Best: mean of the bests (5 + 2) / 2; average: every attempt
        // (5 + 3 + 2) / 3; mastered: 1 of the chapter's 3.
        QCOMPARE(row(0), (QStringList{"Chương 1", "2/3 tình huống", "3,5", "3,3", "33%"}));
        QCOMPARE(row(1), (QStringList{"Chương 2", "0/2 tình huống", "–", "–", "0%"}));

        const QVector<QPointF> totals = page.totalsSeries()->pointsVector();
        QCOMPARE(totals.size(), 2);
        QCOMPARE(totals.at(0), QPointF(qreal(mocks.at(0).first.toMSecsSinceEpoch()), 30));
        QCOMPARE(totals.at(1), QPointF(qreal(mocks.at(1).first.toMSecsSinceEpoch()), 40));
        const QVector<QPointF> pass = page.passLineSeries()->pointsVector();
        QCOMPARE(pass.size(), 2);
        for (const QPointF &point : pass)
            QCOMPARE(point.y(), 35.0);
        QVERIFY(pass.first().x() <= totals.first().x() && pass.last().x() >= totals.last().x());
    }
};

QTEST_MAIN(TstStatisticsPage)
#include "tst_statisticspage.moc"
