#include "PracticeSheet.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>


namespace {

constexpr qreal left = SheetCanvas::left;
constexpr qreal width = SheetCanvas::width;
constexpr int passMark = 35;

} // namespace

PracticeSheet::PracticeSheet(const QDateTime &when, const QList<Row> &rows)
    : m_when(when)
    , m_rows(rows)
{
}

int PracticeSheet::total() const
{
    int sum = 0;
    for (const Row &row : m_rows)
        sum += row.score;
    return sum;
}

bool PracticeSheet::loadFonts(QString *why)
{
    QString missing;
    if (m_canvas.loadFonts(&missing))
        return true;
    *why = QStringLiteral("Không nạp được phông chữ %1 (gói fonts-dejavu-core).").arg(missing);
    return false;
}

bool PracticeSheet::writePdf(const QString &path, QString *why)
{
    if (!loadFonts(why))
        return false;
    // A failed run leaves no half-written sheet, nor an older one damaged.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("Không ghi được %1: %2").arg(path, file.errorString());
        return false;
    }
    QPdfWriter writer(&file);
    writer.setResolution(SheetCanvas::dotsPerInch);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(QStringLiteral("Phiếu kết quả thi thử mô phỏng tình huống giao thông"));
    writer.setCreator(QStringLiteral("hazard-practice"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        *why = QStringLiteral("Không tạo được tệp PDF %1").arg(path);
        return false;
    }
    paint(painter);
    if (!painter.end() || !file.commit()) {
        *why = QStringLiteral("Không ghi được %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool PracticeSheet::print(QPrinter *printer, QString *why)
{
    if (!loadFonts(why))
        return false;
    // The layout is measured from the sheet's own edge, as in the PDF.
    printer->setFullPage(true);
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(printer)) {
        *why = QStringLiteral("Không in được: máy in không sẵn sàng.");
        return false;
    }
    paint(painter);
    painter.end();
    return true;
}

void PracticeSheet::paint(QPainter &painter)
{
    m_canvas.begin(painter);
    qreal y = 25;
    m_canvas.text(painter, m_canvas.box(left, y, width, 9), Qt::AlignCenter, QStringLiteral("PHIẾU KẾT QUẢ THI THỬ"), 17, SheetCanvas::Bold);
    y += 9;
    m_canvas.text(painter, m_canvas.box(left, y, width, 7), Qt::AlignCenter, QStringLiteral("MÔ PHỎNG TÌNH HUỐNG GIAO THÔNG"), 13, SheetCanvas::Bold);
    y += 7;
    m_canvas.text(painter, m_canvas.box(left, y, width, 6), Qt::AlignCenter,
         QStringLiteral("Bài luyện tập, không có giá trị sát hạch"), 11, SheetCanvas::Italic);
    y += 12;
    m_canvas.text(painter, m_canvas.box(left, y, width, 6.5), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Thời gian thi thử: ") + m_when.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")), 11);
    y += 11;
    drawScores(painter, &y);
    painter.setPen(Qt::darkGray);
    m_canvas.text(painter, m_canvas.box(left, 284, width, 5), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("hazard-practice"), 8);
    painter.setPen(Qt::black);
}

void PracticeSheet::drawScores(QPainter &painter, qreal *y)
{
    QList<QStringList> rows;
    for (int i = 0; i < m_rows.size(); ++i)
        rows << QStringList{QString::number(i + 1), m_rows.at(i).number, QString::number(m_rows.at(i).score)};
    const int sum = total();
    m_canvas.drawScores(painter, {QStringLiteral("Câu"), QStringLiteral("Tình huống"), QStringLiteral("Điểm")}, rows,
                        sum, passMark, sum >= passMark, y);
}
