#include "AboutDialog.h"
#include "ui_AboutDialog.h"

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::setTitle(const QString &text)
{
    ui->lbTitle->setText(text);
}

void AboutDialog::on_closeButton_clicked()
{
    close();
}
