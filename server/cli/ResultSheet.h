#pragma once

#include "SheetPage.h"

#include <QList>
#include <QRectF>
#include <QString>

class QPainter;

// The printed result sheets: one A4 page in Vietnamese per candidate, as PDF
// with its font embedded. Painting needs a QGuiApplication.
class ResultSheet
{
public:
    ResultSheet();

    // Writes every page into one file, or leaves the file as it was and
    // returns false with the reason.
    bool write(const QList<SheetPage> &pages, const QString &path, QString *why);

private:
    bool loadFonts(QString *why);
    void drawPage(QPainter &painter, const SheetPage &page, int index, int count);
    void drawHeader(QPainter &painter, const SheetPage &page, qreal *y);
    void drawCandidate(QPainter &painter, const SheetPage &page, qreal *y);
    void drawScores(QPainter &painter, const SheetPage &page, qreal *y);
    void drawSignatures(QPainter &painter, const SheetPage &page, qreal y);

    enum Style { Regular = 0, Bold = 1, Italic = 2 };
    // Draws one line of text in the box, made smaller (and at last elided)
    // rather than clipped or spilling over its neighbours.
    void text(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize,
              int style = Regular);
    // Text wrapped into the box's lines, made smaller until it fits.
    void paragraph(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize);
    // A rectangle given in millimetres from the page's top left corner.
    QRectF box(qreal x, qreal y, qreal width, qreal height) const;
    qreal mm(qreal length) const { return length * m_dotsPerMm; }

    QString m_family;
    qreal m_dotsPerMm = 0;
};
