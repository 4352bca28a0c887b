#include "SheetCanvas.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {

const char fontFolder[] = "/usr/share/fonts/truetype/dejavu/";
const char regularFont[] = "DejaVuSans.ttf";
const char boldFont[] = "DejaVuSans-Bold.ttf";
const char italicFont[] = "DejaVuSans-Oblique.ttf";

constexpr qreal minimumPointSize = 8;

} // namespace

bool SheetCanvas::loadFonts(QString *missing)
{
    if (!m_family.isEmpty())
        return true;
    const QString folder = QString::fromLatin1(fontFolder);
    const int regular = QFontDatabase::addApplicationFont(folder + QLatin1String(regularFont));
    const QStringList families = QFontDatabase::applicationFontFamilies(regular);
    if (regular < 0 || families.isEmpty()) {
        *missing = folder + QLatin1String(regularFont);
        return false;
    }
    m_family = families.first();
    // Without these Qt slants and thickens the regular face, which still reads.
    for (const char *face : {boldFont, italicFont})
        QFontDatabase::addApplicationFont(folder + QLatin1String(face));
    return true;
}

void SheetCanvas::begin(QPainter &painter)
{
    m_dotsPerMm = painter.device()->logicalDpiX() / 25.4;
    painter.setPen(QPen(Qt::black, mm(0.3)));
}

QRectF SheetCanvas::box(qreal x, qreal y, qreal w, qreal h) const
{
    return QRectF(mm(x), mm(y), mm(w), mm(h));
}

void SheetCanvas::text(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize,
                       int style) const
{
    QFont font(m_family);
    font.setBold(style & Bold);
    font.setItalic(style & Italic);
    font.setPointSizeF(pointSize);
    // Names and centres come in every length; a smaller size still prints
    // them whole, elision is the last resort.
    QFontMetricsF metrics(font, painter.device());
    while (metrics.horizontalAdvance(text) > box.width() && font.pointSizeF() > minimumPointSize) {
        font.setPointSizeF(std::max(minimumPointSize, font.pointSizeF() - 0.5));
        metrics = QFontMetricsF(font, painter.device());
    }
    painter.setFont(font);
    painter.drawText(box, flags | Qt::TextSingleLine, metrics.elidedText(text, Qt::ElideRight, box.width()));
}

void SheetCanvas::drawScores(QPainter &painter, const QStringList &headings, const QList<QStringList> &rows,
                             int total, int passMark, bool passed, qreal *y) const
{
    const qreal columns[] = {40, 65, 65};
    const qreal headHeight = 9;
    const qreal rowHeight = 8;
    painter.fillRect(box(left, *y, width, headHeight), QColor(230, 230, 230));
    qreal x = left;
    for (int c = 0; c < 3; ++c) {
        text(painter, box(x, *y, columns[c], headHeight), Qt::AlignCenter, headings.value(c), 11, Bold);
        x += columns[c];
    }
    qreal rowY = *y + headHeight;
    for (const QStringList &cells : rows) {
        x = left;
        for (int c = 0; c < 3; ++c) {
            text(painter, box(x, rowY, columns[c], rowHeight), Qt::AlignCenter, cells.value(c), 11,
                 c == 2 ? Bold : Regular);
            x += columns[c];
        }
        rowY += rowHeight;
    }
    // The grid last, so that the heading's shading does not cover it.
    painter.drawLine(QPointF(mm(left), mm(*y)), QPointF(mm(left + width), mm(*y)));
    for (int i = 0; i <= rows.size(); ++i) {
        const qreal lineY = *y + headHeight + i * rowHeight;
        painter.drawLine(QPointF(mm(left), mm(lineY)), QPointF(mm(left + width), mm(lineY)));
    }
    x = left;
    for (int c = 0; c <= 3; ++c) {
        painter.drawLine(QPointF(mm(x), mm(*y)), QPointF(mm(x), mm(rowY)));
        if (c < 3)
            x += columns[c];
    }

    const qreal summaryY = rowY + 5;
    const qreal summaryHeight = 11;
    const qreal cells[] = {55, 50, 65};
    painter.drawRect(box(left, summaryY, width, summaryHeight));
    x = left;
    text(painter, box(x + 3, summaryY, cells[0] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Tổng điểm: %1/50").arg(total), 12, Bold);
    x += cells[0];
    text(painter, box(x + 3, summaryY, cells[1] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Điểm đạt: %1/50").arg(passMark), 11);
    x += cells[1];
    text(painter, box(x + 3, summaryY, cells[2] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Kết quả: ") + (passed ? QStringLiteral("ĐẠT") : QStringLiteral("KHÔNG ĐẠT")), 13, Bold);
    *y = summaryY + summaryHeight;
}
