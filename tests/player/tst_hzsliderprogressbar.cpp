#include "HzSliderProgressBar.h"

#include "ContestProcedure.h"
#include "Exercise.h"

#include <QtTest>

#include <QImage>

namespace {

const QColor poleColor(60, 60, 60);
const QList<QColor> zoneColors = {QColor(31, 133, 49), QColor(89, 217, 112), QColor(223, 223, 0),
                                  QColor(255, 136, 17), QColor(255, 0, 0)};
// Below the zones (the top third of 30 px), where only flags are drawn.
constexpr int flagRow = 20;
constexpr int zoneRow = 5;

// A contest whose one situation has its danger window at 33000..38000 on a
// timeline of 230000.
QList<Exercise *> examplePlaylist(QObject *owner)
{
    auto *countDown = new Exercise(owner);
    countDown->setDuration(30000);
    auto *situation = new Exercise(owner);
    situation->setId(1);
    situation->setDuration(200000);
    situation->setDangerStart(3000);
    situation->setDangerEnd(8000);
    return {countDown, situation};
}

// Columns whose pixel in `row` has `color`.
QList<int> columnsOf(const QImage &image, int row, const QColor &color)
{
    QList<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixelColor(x, row) == color)
            columns.append(x);
    }
    return columns;
}

} // namespace

class TestHzSliderProgressBar : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void zonesOfTheWindow();
    void flagPlacement_data();
    void flagPlacement();

private:
    QObject m_owner;
    ContestProcedure m_procedure;
    std::unique_ptr<HzSliderProgressBar> m_bar;
};

void TestHzSliderProgressBar::init()
{
    m_procedure.setDangerItems(examplePlaylist(&m_owner));
    m_bar = std::make_unique<HzSliderProgressBar>();
    m_bar->resize(1000, 30);
    m_bar->setContestProcedure(&m_procedure);
    m_bar->refreshItems();
    m_bar->setMaximum(230000);
}

void TestHzSliderProgressBar::zonesOfTheWindow()
{
    m_bar->showDangerZones = true;
    const QImage image = m_bar->grab().toImage();
    // 21 px of window cut into five zones of 4 px from x 143; the last
    // pixel of the window stays unpainted.
    for (int k = 0; k < zoneColors.size(); ++k) {
        const QList<int> expected = {143 + 4 * k, 144 + 4 * k, 145 + 4 * k, 146 + 4 * k};
        QCOMPARE(columnsOf(image, zoneRow, zoneColors.at(k)), expected);
    }
}

void TestHzSliderProgressBar::flagPlacement_data()
{
    QTest::addColumn<int>("flagTime");
    QTest::addColumn<int>("score");
    QTest::addColumn<bool>("zones");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("x");

    // A flag scored 5 by its look-back lies after the zone that earned it.
    QTest::newRow("score 5 snapped into its zone") << 37900 << 5 << true << 230000 << 147;
    QTest::newRow("score 5 without zones") << 37900 << 5 << false << 230000 << 164;
    QTest::newRow("score 0 with zones") << 40000 << 0 << true << 230000 << 173;
    QTest::newRow("score 0 without zones") << 40000 << 0 << false << 230000 << 173;
    QTest::newRow("score 1 before its zone") << 33100 << 1 << true << 230000 << 159;
    QTest::newRow("zero maximum paints nothing") << 37900 << 5 << true << 0 << -1;
}

void TestHzSliderProgressBar::flagPlacement()
{
    QFETCH(int, flagTime);
    QFETCH(int, score);
    QFETCH(bool, zones);
    QFETCH(int, maximum);
    QFETCH(int, x);

    m_procedure.setFlag(0, flagTime, score);
    m_bar->showDangerZones = zones;
    m_bar->setMaximum(maximum);
    const QImage image = m_bar->grab().toImage();
    // The flag's pole is its leftmost column.
    QCOMPARE(columnsOf(image, flagRow, poleColor).value(0, -1), x);
    // Zones are drawn only when asked for and the timeline has a length.
    for (const QColor &color : zoneColors)
        QVERIFY((zones && maximum > 0) || columnsOf(image, zoneRow, color).isEmpty());
}

QTEST_MAIN(TestHzSliderProgressBar)
#include "tst_hzsliderprogressbar.moc"
