#pragma once

#include "ContestResultRecord.h"

#include <QDialog>
#include <QList>

#include <memory>

class QLabel;
class QTimer;
class StudentInfo;

namespace Ui {
class ContestResultDialog;
}

// The outcome of a finished examination or review. It has no buttons: it
// counts down from fifteen seconds after it is shown, hides itself and then
// tells the main window to make ready for the next candidate.
class ContestResultDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ContestResultDialog(QWidget *parent = nullptr);
    ~ContestResultDialog() override;

    void setResult(const ContestResultRecord &record, const StudentInfo *student);
    // Restarts the count-down from the top, also when it is already running.
    void showResult();

signals:
    void notifySignout();

public slots:
    // One tick of the count-down, once a second.
    void onDisapperDialog();

private:
    QList<QLabel *> scoreLabels() const;

    const std::unique_ptr<Ui::ContestResultDialog> ui;
    QTimer *closeTimer;
    int elapsedSeconds = 0;
};
