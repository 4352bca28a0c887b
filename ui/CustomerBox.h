#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CustomerBox;
}

// The main window's own message box for the server's refusals. It is shown
// without blocking, so a second answer only replaces the text.
class CustomerBox : public QDialog
{
    Q_OBJECT
public:
    explicit CustomerBox(QWidget *parent = nullptr);
    ~CustomerBox() override;

    void setContent(const QString &text);

private slots:
    void on_btnOk_clicked();

private:
    const std::unique_ptr<Ui::CustomerBox> ui;
};
