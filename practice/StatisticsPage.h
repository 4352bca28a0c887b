#pragma once

#include <QList>
#include <QWidget>

class ProgressStore;
class QTableWidget;

namespace QtCharts {
class QChartView;
class QLineSeries;
} // namespace QtCharts

// The learner's statistics: per chapter the best and average scores and the
// share of situations mastered, and the mock examinations' totals over time
// against the pass line. It shows the store's figures as they are; nothing
// is worked out here.
class StatisticsPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int passMark = 35;
    static constexpr int fullMarks = 50;

    explicit StatisticsPage(QWidget *parent = nullptr);

    // `chapterSituations` lists, per chapter index, the ids it holds.
    void refresh(const ProgressStore *store, const QList<QList<int>> &chapterSituations);

    QTableWidget *chapterTable() const { return m_table; }
    QtCharts::QLineSeries *totalsSeries() const { return m_totals; }
    QtCharts::QLineSeries *passLineSeries() const { return m_passLine; }

signals:
    void backRequested();

private:
    QTableWidget *m_table;
    QtCharts::QChartView *m_chartView;
    QtCharts::QLineSeries *m_totals;
    QtCharts::QLineSeries *m_passLine;
};
