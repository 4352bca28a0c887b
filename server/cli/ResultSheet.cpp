#include "ResultSheet.h"

#include "Constants.h"
#include "ResultDetail.h"

#include <QFileInfo>
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
const char boldFont[] = "DejaVuSans-SheetCanvas::Bold.ttf";
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
    QString missing;
    if (!m_canvas.loadFonts(&missing)) {
        *why = QStringLiteral("cannot load the font %1, which the sheet needs for Vietnamese "
                              "(Debian package fonts-dejavu-core)")
                   .arg(missing);
        return false;
    }

    // A failed run leaves no half-written sheet behind, nor an older one damaged.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    QPdfWriter writer(&file);
    writer.setResolution(SheetCanvas::dotsPerInch);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(QStringLiteral("Phiếu kết quả sát hạch mô phỏng tình huống giao thông"));
    writer.setCreator(QStringLiteral("hazard-server"));

    QPainter painter;
    if (!painter.begin(&writer)) {
        *why = QStringLiteral("cannot start the PDF %1").arg(path);
        return false;
    }
    m_canvas.begin(painter);
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

void ResultSheet::paragraph(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize)
{
    QFont font(m_canvas.family());
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
    painter.setPen(QPen(Qt::black, m_canvas.mm(0.3)));
    qreal y = 14;
    drawHeader(painter, page, &y);
    drawCandidate(painter, page, &y);
    drawScores(painter, page, &y);
    drawSignatures(painter, page, y);
    painter.setPen(Qt::darkGray);
    m_canvas.text(painter, m_canvas.box(left, 284, width, 5), Qt::AlignRight | Qt::AlignVCenter,
         QStringLiteral("Trang %1/%2").arg(index + 1).arg(count), 8);
    painter.setPen(Qt::black);
}

void ResultSheet::drawHeader(QPainter &painter, const SheetPage &page, qreal *y)
{
    const qreal column = 82;
    const qreal right = left + width - column;
    m_canvas.text(painter, m_canvas.box(left, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QString::fromUtf8(Constants::authorityName), 10, SheetCanvas::Bold);
    m_canvas.text(painter, m_canvas.box(right, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QStringLiteral("CỘNG HÒA XÃ HỘI CHỦ NGHĨA VIỆT NAM"), 10, SheetCanvas::Bold);
    *y += 6;
    // A centre's full name may take two lines.
    qreal centreHeight = 0;
    if (!page.centre.isEmpty()) {
        const QRectF centreBox = m_canvas.box(left, *y, column, 10);
        paragraph(painter, centreBox, Qt::AlignHCenter | Qt::AlignTop, page.centre, 10);
        centreHeight = painter.boundingRect(centreBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, page.centre)
                           .height()
            / m_canvas.dotsPerMm();
    }
    m_canvas.text(painter, m_canvas.box(right, *y, column, 6), Qt::AlignHCenter | Qt::AlignVCenter,
         QStringLiteral("Độc lập - Tự do - Hạnh phúc"), 10.5, SheetCanvas::Bold);
    const qreal leftRule = *y + std::max(centreHeight, 5.0) + 1.5;
    *y += 7.5;
    painter.drawLine(QPointF(m_canvas.mm(left + column / 2 - 15), m_canvas.mm(leftRule)),
                     QPointF(m_canvas.mm(left + column / 2 + 15), m_canvas.mm(leftRule)));
    painter.drawLine(QPointF(m_canvas.mm(right + column / 2 - 25), m_canvas.mm(*y)), QPointF(m_canvas.mm(right + column / 2 + 25), m_canvas.mm(*y)));
    *y = std::max(*y, leftRule);

    *y += 11;
    m_canvas.text(painter, m_canvas.box(left, *y, width, 9), Qt::AlignCenter, QStringLiteral("PHIẾU KẾT QUẢ SÁT HẠCH"), 17, SheetCanvas::Bold);
    *y += 9;
    m_canvas.text(painter, m_canvas.box(left, *y, width, 7), Qt::AlignCenter, QStringLiteral("MÔ PHỎNG TÌNH HUỐNG GIAO THÔNG"), 13,
         SheetCanvas::Bold);
    *y += 7;
    if (page.attempt > 1) {
        m_canvas.text(painter, m_canvas.box(left, *y, width, 6), Qt::AlignCenter,
             QStringLiteral("Kết quả lần thi thứ %1 (thi lại)").arg(page.attempt), 11, SheetCanvas::Italic);
    }
    *y += 10;
}

void ResultSheet::drawCandidate(QPainter &painter, const SheetPage &page, qreal *y)
{
    // A 3 x 4 cm photo, as on the candidate's papers.
    const QRectF frame = m_canvas.box(left, *y, 30, 40);
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
        m_canvas.text(painter, m_canvas.box(labelX, lineY, labelWidth, 6.5), Qt::AlignLeft | Qt::AlignVCenter, lines.at(i).first, 11);
        m_canvas.text(painter, m_canvas.box(valueX, lineY, valueWidth, 6.5), Qt::AlignLeft | Qt::AlignVCenter, lines.at(i).second,
             i == 0 ? 12 : 11, i == 0 ? SheetCanvas::Bold : SheetCanvas::Regular);
        lineY += 6.5;
    }
    *y += 40 + 9;
}

void ResultSheet::drawScores(QPainter &painter, const SheetPage &page, qreal *y)
{
    ResultDetail detail;
    ResultDetail::parse(page.result.detail, &detail); // checked before painting
    QList<QStringList> rows;
    for (int i = 0; i < detail.scores().size(); ++i)
        rows << QStringList{QString::number(i + 1), QString::number(detail.ids().value(i)),
                            QString::number(detail.scores().at(i))};
    const ResultRecord &r = page.result;
    m_canvas.drawScores(painter,
                        {QStringLiteral("Tình huống"), QStringLiteral("Mã tình huống"), QStringLiteral("Điểm")}, rows,
                        r.total, r.passScore, r.passed, y);
}

void ResultSheet::drawSignatures(QPainter &painter, const SheetPage &page, qreal y)
{
    y += 14;
    const qreal column = width / 2;
    const QString roles[] = {QStringLiteral("Thí sinh"), QStringLiteral("Sát hạch viên")};
    for (int c = 0; c < 2; ++c) {
        const qreal x = left + c * column;
        m_canvas.text(painter, m_canvas.box(x, y, column, 6), Qt::AlignCenter, roles[c], 11.5, SheetCanvas::Bold);
        m_canvas.text(painter, m_canvas.box(x, y + 6, column, 5), Qt::AlignCenter, QStringLiteral("(Ký, ghi rõ họ tên)"), 9.5, SheetCanvas::Italic);
    }
    // The candidate signs above their own printed name.
    m_canvas.text(painter, m_canvas.box(left, y + 32, column, 6), Qt::AlignCenter, page.candidate.fullName, 11);
}
