#include "CustomerBox.h"
#include "ui_CustomerBox.h"

CustomerBox::CustomerBox(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::CustomerBox)
{
    ui->setupUi(this);
}

CustomerBox::~CustomerBox() = default;

void CustomerBox::setContent(const QString &text)
{
    ui->lbContent->setText(text);
}

void CustomerBox::on_btnOk_clicked()
{
    hide();
}
