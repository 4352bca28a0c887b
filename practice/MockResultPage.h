#pragma once

#include "PracticeSheet.h"

#include <QWidget>

class QLabel;
class QTableWidget;

// The mock examination's result: the table of its situations and scores,
// the total against the pass mark, and the sheet to save or print. It shows
// the sheet it is given; what counts is decided by the window.
class MockResultPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int passMark = 35;
    static constexpr int fullMarks = 50;

    explicit MockResultPage(QWidget *parent = nullptr);

    // `counted` is false when a situation could not be played: the mock is
    // shown but says it does not count.
    void showResult(const PracticeSheet &sheet, bool counted);
    // The shown mock's sheet as a PDF; false with the reason when there is
    // none or it cannot be written.
    bool saveSheet(const QString &path, QString *why);

signals:
    void backRequested();

private:
    void askSaveSheet();
    void askPrintSheet();

    QTableWidget *m_table;
    QLabel *m_total;
    PracticeSheet m_sheet;
};
