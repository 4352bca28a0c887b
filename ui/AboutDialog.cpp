#include "AboutDialog.h"
#include "ui_AboutDialog.h"

#include "HazardVersion.h"

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    ui->label_3->setText(QStringLiteral("Phiên bản ") + QLatin1String(HAZARD_VERSION));
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
