#include "ResultSheet.h"

#include "Constants.h"
#include "ResultDetail.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace {

// DejaVu Sans has every Vietnamese letter precomposed; the PDF embeds it, so
// the sheet prints and reads the same on machines without it.
const char fontFolder[] = "/usr/share/fonts/truetype/dejavu/";
const char regularFont[] = "DejaVuSans.ttf";
const char boldFont[] = "DejaVuSans-Bold.ttf";
const char italicFont[] = "DejaVuSans-Oblique.ttf";

constexpr int dotsPerInch = 300;
constexpr qreal pageWidth = 210;
constexpr qreal left = 20;
constexpr qreal width = pageWidth - 2 * left;
constexpr qreal minimumPointSize = 8;

QString dateTimeText(const QDateTime &at)
{
    return at.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

} // namespace

ResultSheet::ResultSheet() = default;

bool ResultSheet::loadFonts(QString *why)
{
    const QString folder = QString::fromLatin1(fontFolder);
    const int regular = QFontDatabase::addApplicationFont(folder + QLatin1String(regularFont));
    const QStringList families = QFontDatabase::applicationFontFamilies(regular);
    if (regular < 0 || families.isEmpty()) {
        *why = QStringLiteral("cannot load the font %1%2, which the sheet needs for Vietnamese "
                              "(Debian package fonts-dejavu-core)")
                   .arg(folder, QLatin1String(regularFont));
        return false;
    }
    m_family = families.first();
    // Without these Qt slants and thickens the regular face, which still reads.
    for (const char *face : {boldFont, italicFont})
        QFontDatabase::addApplicationFont(folder + QLatin1String(face));
    return true;
}

bool ResultSheet::write(const QList<SheetPage> &pages, const QString &path, QString *why)
{
    if (pages.isEmpty()) {
        *why = QStringLiteral("no page to write");
        return false;
    }
    for (const SheetPage &page : pages) {
        ResultDetail detail;
        if (!ResultDetail::parse(page.result.detail, &detail, why)) {
            *why = QStringLiteral("result #%1 cannot be read: %2").arg(page.result.id).arg(*why);
            return false;
        }
    }
    if (m_family.isEmpty() && !loadFonts(why))
        return false;

    // A failed run leaves no half-written sheet behind, nor an older one damaged.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    QPdfWriter writer(&file);
    writer.setResolution(dotsPerInch);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(QStringLiteral("Phiếu kết quả sát hạch mô phỏng tình huống giao thông"));
    writer.setCreator(QStringLiteral("hazard-server"));
    m_dotsPerMm = dotsPerInch / 25.4;

    QPainter painter;
    if (!painter.begin(&writer)) {
        *why = QStringLiteral("cannot start the PDF %1").arg(path);
        return false;
    }
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        drawPage(painter, pages.at(i), i, pages.size());
    }
    if (!painter.end()) {
        *why = QStringLiteral("cannot finish the PDF %1").arg(path);
        return false;
    }
    if (!file.commit()) {
        *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QRectF ResultSheet::box(qreal x, qreal y, qreal w, qreal h) const
{
    return QRectF(mm(x), mm(y), mm(w), mm(h));
}

void ResultSheet::text(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize,
                       int style)
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

void ResultSheet::paragraph(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize)
{
    QFont font(m_family);
    font.setPointSizeF(pointSize);
    painter.setFont(font);
    const int wrapping = flags | Qt::TextWordWrap;
    while (font.pointSizeF() > minimumPointSize - 1) {
        const QRectF needed = painter.boundingRect(box, wrapping, text);
        if (needed.height() <= box.height() && needed.width() <= box.width())
            break;
        font.setPointSizeF(font.pointSizeF() - 0.5);
        painter.setFont(font);
    }
    painter.drawText(box, wrapping, text);
}

void ResultSheet::drawPage(QPainter &painter, const SheetPage &page, int index, int count)
{
    painter.setPen(QPen(Qt::black, mm(0.3)));
    qreal y = 14;
    drawHeader(painter, page, &y);
    drawCandidate(painter, page, &y);
    drawScores(painter, page, &y);
    drawSignatures(painter, page, y);
    painter.setPen(Qt::darkGray);
    text(painter, box(left, 284, width, 5), Qt::AlignRight | Qt::AlignVCenter,
         QStringLiteral("Trang %1/%2").arg(index + 1).arg(count), 8);
    painter.setPen(Qt::black);
}

void ResultSheet::drawHeader(QPainter &painter, const SheetPage &page, qreal *y)
{
    const qreal column = 82;
    const qreal right = left + width - column;
    text(painter, box(left, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QString::fromUtf8(Constants::authorityName), 10, Bold);
    text(painter, box(right, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QStringLiteral("CỘNG HÒA XÃ HỘI CHỦ NGHĨA VIỆT NAM"), 10, Bold);
    *y += 6;
    // A centre's full name may take two lines.
    qreal centreHeight = 0;
    if (!page.centre.isEmpty()) {
        const QRectF centreBox = box(left, *y, column, 10);
        paragraph(painter, centreBox, Qt::AlignHCenter | Qt::AlignTop, page.centre, 10);
        centreHeight = painter.boundingRect(centreBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, page.centre)
                           .height()
            / m_dotsPerMm;
    }
    text(painter, box(right, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QStringLiteral("Độc lập - Tự do - Hạnh phúc"), 10.5, Bold);
    const qreal leftRule = *y + std::max(centreHeight, 5.0) + 1.5;
    *y += 7.5;
    painter.drawLine(QPointF(mm(left + column / 2 - 15), mm(leftRule)),
                     QPointF(mm(left + column / 2 + 15), mm(leftRule)));
    painter.drawLine(QPointF(mm(right + column / 2 - 25), mm(*y)), QPointF(mm(right + column / 2 + 25), mm(*y)));
    *y = std::max(*y, leftRule);

    *y += 11;
    text(painter, box(left, *y, width, 9), Qt::AlignCenter, QStringLiteral("PHIẾU KẾT QUẢ SÁT HẠCH"), 17, Bold);
    *y += 9;
    text(painter, box(left, *y, width, 7), Qt::AlignCenter, QStringLiteral("MÔ PHỎNG TÌNH HUỐNG GIAO THÔNG"), 13,
         Bold);
    *y += 7;
    if (page.attempt > 1) {
        text(painter, box(left, *y, width, 6), Qt::AlignCenter,
             QStringLiteral("Kết quả lần thi thứ %1 (thi lại)").arg(page.attempt), 11, Italic);
    }
    *y += 10;
}

void ResultSheet::drawCandidate(QPainter &painter, const SheetPage &page, qreal *y)
{
    // A 3 x 4 cm photo, as on the candidate's papers.
    const QRectF frame = box(left, *y, 30, 40);
    QImage photo;
    if (!page.candidate.photoBase64.isEmpty())
        photo.loadFromData(QByteArray::fromBase64(page.candidate.photoBase64.toLatin1()));
    if (!photo.isNull()) {
        QSizeF size = photo.size();
        size.scale(frame.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(), size);
        target.moveCenter(frame.center());
        painter.drawImage(target, photo);
    }
    painter.drawRect(frame);

    const qreal labelX = left + 36;
    const qreal labelWidth = 44;
    const qreal valueX = labelX + labelWidth;
    const qreal valueWidth = left + width - valueX;
    const CandidateRecord &c = page.candidate;
    const QList<QPair<QString, QString>> lines = {
        {QStringLiteral("Họ và tên:"), c.fullName},
        {QStringLiteral("Số báo danh:"), c.number},
        {QStringLiteral("Số CMND/CCCD:"), c.pid},
        {QStringLiteral("Hạng GPLX:"), Constants::licenceClasses().value(c.licenceClass)},
        {QStringLiteral("Khóa sát hạch:"), page.course.code + QStringLiteral(" - ") + page.course.name},
        {QStringLiteral("Thời gian sát hạch:"), dateTimeText(page.result.receivedAt)},
    };
    qreal lineY = *y + 0.5;
    for (int i = 0; i < lines.size(); ++i) {
        text(painter, box(labelX, lineY, labelWidth, 6.5), Qt::AlignLeft | Qt::AlignVCenter, lines.at(i).first, 11);
        text(painter, box(valueX, lineY, valueWidth, 6.5), Qt::AlignLeft | Qt::AlignVCenter, lines.at(i).second,
             i == 0 ? 12 : 11, i == 0 ? Bold : Regular);
        lineY += 6.5;
    }
    *y += 40 + 9;
}

void ResultSheet::drawScores(QPainter &painter, const SheetPage &page, qreal *y)
{
    ResultDetail detail;
    ResultDetail::parse(page.result.detail, &detail); // checked before painting
    const QList<int> scores = detail.scores();
    const QList<int> ids = detail.ids();

    const qreal columns[] = {40, 65, 65};
    const QString headings[] = {QStringLiteral("Tình huống"), QStringLiteral("Mã tình huống"),
                                QStringLiteral("Điểm")};
    const qreal headHeight = 9;
    const qreal rowHeight = 8;
    painter.fillRect(box(left, *y, width, headHeight), QColor(230, 230, 230));
    qreal x = left;
    for (int c = 0; c < 3; ++c) {
        text(painter, box(x, *y, columns[c], headHeight), Qt::AlignCenter, headings[c], 11, Bold);
        x += columns[c];
    }
    qreal rowY = *y + headHeight;
    for (int i = 0; i < scores.size(); ++i) {
        const QString cells[] = {QString::number(i + 1), QString::number(ids.value(i)),
                                 QString::number(scores.at(i))};
        x = left;
        for (int c = 0; c < 3; ++c) {
            text(painter, box(x, rowY, columns[c], rowHeight), Qt::AlignCenter, cells[c], 11, c == 2 ? Bold : Regular);
            x += columns[c];
        }
        rowY += rowHeight;
    }
    // The grid last, so that the heading's shading does not cover it.
    painter.drawLine(QPointF(mm(left), mm(*y)), QPointF(mm(left + width), mm(*y)));
    for (int i = 0; i <= scores.size(); ++i) {
        const qreal lineY = *y + headHeight + i * rowHeight;
        painter.drawLine(QPointF(mm(left), mm(lineY)), QPointF(mm(left + width), mm(lineY)));
    }
    x = left;
    for (int c = 0; c <= 3; ++c) {
        painter.drawLine(QPointF(mm(x), mm(*y)), QPointF(mm(x), mm(rowY)));
        if (c < 3)
            x += columns[c];
    }

    // Total, pass mark and verdict in one framed row under the table.
    const ResultRecord &r = page.result;
    const qreal summaryY = rowY + 5;
    const qreal summaryHeight = 11;
    const qreal cells[] = {55, 50, 65};
    painter.drawRect(box(left, summaryY, width, summaryHeight));
    x = left;
    text(painter, box(x + 3, summaryY, cells[0] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Tổng điểm: %1/50").arg(r.total), 12, Bold);
    x += cells[0];
    text(painter, box(x + 3, summaryY, cells[1] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Điểm đạt: %1/50").arg(r.passScore), 11);
    x += cells[1];
    text(painter, box(x + 3, summaryY, cells[2] - 6, summaryHeight), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Kết quả: ") + (r.passed ? QStringLiteral("ĐẠT") : QStringLiteral("KHÔNG ĐẠT")), 13, Bold);
    *y = summaryY + summaryHeight;
}

void ResultSheet::drawSignatures(QPainter &painter, const SheetPage &page, qreal y)
{
    y += 14;
    const qreal column = width / 2;
    const QString roles[] = {QStringLiteral("Thí sinh"), QStringLiteral("Sát hạch viên")};
    for (int c = 0; c < 2; ++c) {
        const qreal x = left + c * column;
        text(painter, box(x, y, column, 6), Qt::AlignCenter, roles[c], 11.5, Bold);
        text(painter, box(x, y + 6, column, 5), Qt::AlignCenter, QStringLiteral("(Ký, ghi rõ họ tên)"), 9.5, Italic);
    }
    // The candidate signs above their own printed name.
    text(painter, box(left, y + 32, column, 6), Qt::AlignCenter, page.candidate.fullName, 11);
}
