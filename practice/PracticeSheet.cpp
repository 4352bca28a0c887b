#include "PracticeSheet.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>

namespace {

// The faces the server's sheets use: every Vietnamese letter precomposed,
// and embedded in the PDF.
const char fontFolder[] = "/usr/share/fonts/truetype/dejavu/";
const char regularFont[] = "DejaVuSans.ttf";
const char boldFont[] = "DejaVuSans-Bold.ttf";
const char italicFont[] = "DejaVuSans-Oblique.ttf";

constexpr int dotsPerInch = 300;
constexpr qreal pageWidth = 210;
constexpr qreal left = 20;
constexpr qreal width = pageWidth - 2 * left;
constexpr qreal minimumPointSize = 8;
constexpr int passMark = 35;
constexpr int fullMarks = 50;

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
    if (!m_family.isEmpty())
        return true;
    const QString folder = QString::fromLatin1(fontFolder);
    const int regular = QFontDatabase::addApplicationFont(folder + QLatin1String(regularFont));
    const QStringList families = QFontDatabase::applicationFontFamilies(regular);
    if (regular < 0 || families.isEmpty()) {
        *why = QStringLiteral("Không nạp được phông chữ %1%2 (gói fonts-dejavu-core).").arg(folder, QLatin1String(regularFont));
        return false;
    }
    m_family = families.first();
    for (const char *face : {boldFont, italicFont})
        QFontDatabase::addApplicationFont(folder + QLatin1String(face));
    return true;
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
    writer.setResolution(dotsPerInch);
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

QRectF PracticeSheet::box(qreal x, qreal y, qreal w, qreal h) const
{
    return QRectF(mm(x), mm(y), mm(w), mm(h));
}

void PracticeSheet::text(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize,
                         bool bold, bool italic)
{
    QFont font(m_family);
    font.setBold(bold);
    font.setItalic(italic);
    font.setPointSizeF(pointSize);
    QFontMetricsF metrics(font, painter.device());
    while (metrics.horizontalAdvance(text) > box.width() && font.pointSizeF() > minimumPointSize) {
        font.setPointSizeF(std::max(minimumPointSize, font.pointSizeF() - 0.5));
        metrics = QFontMetricsF(font, painter.device());
    }
    painter.setFont(font);
    painter.drawText(box, flags | Qt::TextSingleLine, metrics.elidedText(text, Qt::ElideRight, box.width()));
}

void PracticeSheet::paint(QPainter &painter)
{
    m_dotsPerMm = painter.device()->logicalDpiX() / 25.4;
    painter.setPen(QPen(Qt::black, mm(0.3)));
    qreal y = 25;
    text(painter, box(left, y, width, 9), Qt::AlignCenter, QStringLiteral("PHIẾU KẾT QUẢ THI THỬ"), 17, true);
    y += 9;
    text(painter, box(left, y, width, 7), Qt::AlignCenter, QStringLiteral("MÔ PHỎNG TÌNH HUỐNG GIAO THÔNG"), 13, true);
    y += 7;
    text(painter, box(left, y, width, 6), Qt::AlignCenter,
         QStringLiteral("Bài luyện tập, không có giá trị sát hạch"), 11, false, true);
    y += 12;
    text(painter, box(left, y, width, 6.5), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Thời gian thi thử: ") + m_when.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")), 11);
    y += 11;
    drawScores(painter, &y);
    painter.setPen(Qt::darkGray);
    text(painter, box(left, 284, width, 5), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("hazard-practice"), 8);
    painter.setPen(Qt::black);
}

void PracticeSheet::drawScores(QPainter &painter, qreal *y)
{
    const qreal columns[] = {40, 65, 65};
    const QString headings[] = {QStringLiteral("Câu"), QStringLiteral("Tình huống"), QStringLiteral("Điểm")};
    const qreal headHeight = 9;
    const qreal rowHeight = 8;
    painter.fillRect(box(left, *y, width, headHeight), QColor(230, 230, 230));
    qreal x = left;
    for (int c = 0; c < 3; ++c) {
        text(painter, box(x, *y, columns[c], headHeight), Qt::AlignCenter, headings[c], 11, true);
        x += columns[c];
    }
    qreal rowY = *y + headHeight;
    for (int i = 0; i < m_rows.size(); ++i) {
        const QString cells[] = {QString::number(i + 1), m_rows.at(i).number, QString::number(m_rows.at(i).score)};
        x = left;
        for (int c = 0; c < 3; ++c) {
            text(painter, box(x, rowY, columns[c], rowHeight), Qt::AlignCenter, cells[c], 11, c == 2);
            x += columns[c];
        }
        rowY += rowHeight;
    }
    // The grid last, so that the heading's shading does not cover it.
    painter.drawLine(QPointF(mm(left), mm(*y)), QPointF(mm(left + width), mm(*y)));
    for (int i = 0; i <= m_rows.size(); ++i) {
        const qreal lineY = *y + headHeight + i * rowHeight;
        painter.drawLine(QPointF(mm(left), mm(lineY)), QPointF(mm(left + width), mm(lineY)));
    }
    x = left;
    for (int c = 0; c <= 3; ++c) {
        painter.drawLine(QPointF(mm(x), mm(*y)), QPointF(mm(x), mm(rowY)));
        if (c < 3)
            x += columns[c];
    }

    const int sum = total();
    const qreal summaryY = rowY + 5;
    const qreal summaryHeight = 11;
    const qreal cells[] = {55, 50, 65};
    painter.drawRect(box(left, summaryY, width, summaryHeight));
    x = left;
    text(painter, box(x + 3, summaryY, cells[0] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Tổng điểm: %1/%2").arg(sum).arg(fullMarks), 12, true);
    x += cells[0];
    text(painter, box(x + 3, summaryY, cells[1] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Điểm đạt: %1/%2").arg(passMark).arg(fullMarks), 11);
    x += cells[1];
    text(painter, box(x + 3, summaryY, cells[2] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Kết quả: ") + (sum >= passMark ? QStringLiteral("ĐẠT") : QStringLiteral("KHÔNG ĐẠT")), 13,
         true);
    *y = summaryY + summaryHeight;
}
