#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class StudentInfo;

namespace Ui {
class InitialInfoDialog;
}

// Where each candidate begins: the operator picks one of the courses the
// server is examining and types the candidate number, which goes to the
// server. The answer reaches the main window, not this dialog.
class InitialInfoDialog : public QDialog
{
    Q_OBJECT
public:
    explicit InitialInfoDialog(QWidget *parent = nullptr);
    ~InitialInfoDialog() override;

    // The shared candidate record; the typed number is written into it.
    void setStudentInfo(StudentInfo *studentInfo) { m_studentInfo = studentInfo; }
    // Clears the dialog, asks the server for its courses and shows itself.
    // The caller decides the modality first.
    void beginEntry();
    // The server's course list: codes and names, each joined by ";".
    void setContestNames(const QString &codes, const QString &names);
    // Code of the chosen course; empty when none is chosen.
    QString contestCode() const { return m_contestCode; }

protected:
    // Only Cancel and the main window hide the dialog.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_startButton_clicked();
    void on_sendRequestButton_clicked();
    void on_contestComboBox_currentIndexChanged(int index);
    void on_cancelButton_clicked();

private:
    void clear();
    void requestContestNames();

    const std::unique_ptr<Ui::InitialInfoDialog> ui;
    StudentInfo *m_studentInfo = nullptr;
    QString m_contestCode;
    int m_selectedIndex = -1;
    QStringList m_courseCodes;
};
