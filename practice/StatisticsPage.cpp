#include "StatisticsPage.h"

#include "ProgressStore.h"

#include <QtCharts/QDateTimeAxis>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtCharts/QValueAxis>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

using namespace QtCharts;

namespace {

QString oneDecimal(double value)
{
    return QLocale(QLocale::Vietnamese).toString(value, 'f', 1);
}

} // namespace

StatisticsPage::StatisticsPage(QWidget *parent)
    : QWidget(parent)
    , m_table(new QTableWidget(0, 5))
    , m_chartView(new QChartView)
    , m_totals(new QLineSeries)
    , m_passLine(new QLineSeries)
{
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(tr("THỐNG KÊ LUYỆN TẬP"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);

    m_table->setObjectName(QStringLiteral("chapterTable"));
    m_table->setHorizontalHeaderLabels(
        {tr("Chương"), tr("Đã luyện"), tr("Điểm cao nhất (TB)"), tr("Điểm trung bình"), tr("Đã thành thạo")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_table, 2);

    m_totals->setName(tr("Tổng điểm thi thử"));
    m_totals->setPointsVisible(true);
    m_passLine->setName(tr("Điểm đạt (%1/%2)").arg(passMark).arg(fullMarks));
    QPen pass(QColor(200, 40, 40));
    pass.setStyle(Qt::DashLine);
    pass.setWidth(2);
    m_passLine->setPen(pass);

    auto *chart = new QChart;
    chart->setTitle(tr("Kết quả thi thử theo thời gian"));
    chart->addSeries(m_totals);
    chart->addSeries(m_passLine);
    auto *time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("dd/MM HH:mm"));
    time->setTitleText(tr("Thời gian"));
    auto *score = new QValueAxis;
    score->setRange(0, fullMarks);
    score->setTickCount(6);
    score->setLabelFormat(QStringLiteral("%d"));
    score->setTitleText(tr("Điểm"));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(score, Qt::AlignLeft);
    for (QLineSeries *series : {m_totals, m_passLine}) {
        series->attachAxis(time);
        series->attachAxis(score);
    }
    m_chartView->setObjectName(QStringLiteral("mockChart"));
    // The view starts with a chart of its own and lets go of it when given
    // another: it is ours to delete.
    QChart *initial = m_chartView->chart();
    m_chartView->setChart(chart);
    delete initial;
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(260);
    layout->addWidget(m_chartView, 3);

    auto *back = new QPushButton(tr("Quay lại (Esc)"));
    back->setFocusPolicy(Qt::NoFocus);
    connect(back, &QPushButton::clicked, this, &StatisticsPage::backRequested);
    layout->addWidget(back);
}

void StatisticsPage::refresh(const ProgressStore *store, const QList<QList<int>> &chapterSituations)
{
    const QList<ProgressStore::ChapterStatistics> chapters = store->chapterStatistics(chapterSituations);
    m_table->setRowCount(chapters.size());
    for (int row = 0; row < chapters.size(); ++row) {
        const ProgressStore::ChapterStatistics &c = chapters.at(row);
        const bool tried = c.tried > 0;
        const QString cells[] = {
            tr("Chương %1").arg(c.chapter + 1),
            tr("%1/%2 tình huống").arg(c.tried).arg(c.situations),
            tried ? oneDecimal(c.best) : QStringLiteral("–"),
            tried ? oneDecimal(c.average) : QStringLiteral("–"),
            QStringLiteral("%1%").arg(qRound(c.mastered * 100)),
        };
        for (int column = 0; column < 5; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(Qt::AlignCenter);
            m_table->setItem(row, column, item);
        }
    }

    const QList<ProgressStore::MockTotal> totals = store->mockTotals();
    QList<QPointF> points;
    for (const ProgressStore::MockTotal &one : totals)
        points << QPointF(qreal(one.when.toMSecsSinceEpoch()), one.total);
    m_totals->replace(points);
    // The time axis spans the mock examinations, a day either side of a
    // single one, so the pass line always crosses the whole chart.
    QDateTime first = totals.isEmpty() ? QDateTime::currentDateTime() : totals.first().when;
    QDateTime last = totals.isEmpty() ? first : totals.last().when;
    if (first == last) {
        first = first.addDays(-1);
        last = last.addDays(1);
    }
    m_passLine->replace(QList<QPointF>{QPointF(qreal(first.toMSecsSinceEpoch()), passMark),
                         QPointF(qreal(last.toMSecsSinceEpoch()), passMark)});
    const QList<QAbstractAxis *> axes = m_chartView->chart()->axes(Qt::Horizontal);
    if (!axes.isEmpty())
        axes.first()->setRange(first, last);
}
