#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

// The software information box behind the "Bản quyền" menu entry.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    void setTitle(const QString &text);

private slots:
    void on_closeButton_clicked();

private:
    const std::unique_ptr<Ui::AboutDialog> ui;
};
