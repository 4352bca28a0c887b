#include "MockResultPage.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

MockResultPage::MockResultPage(QWidget *parent)
    : QWidget(parent)
    , m_table(new QTableWidget(0, 3))
    , m_total(new QLabel)
    , m_sheet(QDateTime(), {})
{
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(tr("KẾT QUẢ THI THỬ"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);
    m_table->setObjectName(QStringLiteral("resultTable"));
    m_table->setHorizontalHeaderLabels({tr("Câu"), tr("Tình huống"), tr("Điểm")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_table, 1);
    m_total->setObjectName(QStringLiteral("resultTotal"));
    m_total->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_total);
    auto *buttons = new QHBoxLayout;
    const QList<QPair<QString, void (MockResultPage::*)()>> actions = {
        {tr("Quay lại (Esc)"), &MockResultPage::backRequested},
        {tr("Lưu PDF"), &MockResultPage::askSaveSheet},
        {tr("In"), &MockResultPage::askPrintSheet},
    };
    for (const auto &action : actions) {
        auto *button = new QPushButton(action.first);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, action.second);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
}

void MockResultPage::showResult(const PracticeSheet &sheet, bool counted)
{
    m_sheet = sheet;
    const QList<PracticeSheet::Row> rows = sheet.rows();
    m_table->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        m_table->setItem(row, 1, new QTableWidgetItem(rows.at(row).number));
        m_table->setItem(row, 2, new QTableWidgetItem(QString::number(rows.at(row).score)));
    }
    const int total = sheet.total();
    QString text = tr("Tổng điểm: %1/%2 — %3")
                       .arg(total)
                       .arg(fullMarks)
                       .arg(total >= passMark ? tr("ĐẠT") : tr("KHÔNG ĐẠT"));
    if (!counted)
        text += QLatin1Char('\n') + tr("Có tình huống không phát được: bài thi thử này không được tính.");
    m_total->setText(text);
}

bool MockResultPage::saveSheet(const QString &path, QString *why)
{
    if (m_sheet.rows().isEmpty()) {
        *why = tr("Chưa có bài thi thử nào để in.");
        return false;
    }
    return m_sheet.writePdf(path, why);
}

void MockResultPage::askSaveSheet()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Lưu phiếu kết quả thi thử"),
        tr("thi-thu-%1.pdf").arg(m_sheet.when().toString(QStringLiteral("yyyyMMdd-HHmm"))), tr("Tệp PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!saveSheet(path, &why))
        QMessageBox::warning(this, window()->windowTitle(), why);
}

void MockResultPage::askPrintSheet()
{
    if (m_sheet.rows().isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString why;
    if (!m_sheet.print(&printer, &why))
        QMessageBox::warning(this, window()->windowTitle(), why);
}
