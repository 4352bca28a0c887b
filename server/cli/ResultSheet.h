#pragma once

#include "SheetCanvas.h"
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
    void drawPage(QPainter &painter, const SheetPage &page, int index, int count);
    void drawHeader(QPainter &painter, const SheetPage &page, qreal *y);
    void drawCandidate(QPainter &painter, const SheetPage &page, qreal *y);
    void drawScores(QPainter &painter, const SheetPage &page, qreal *y);
    void drawSignatures(QPainter &painter, const SheetPage &page, qreal y);

    // Text wrapped into the box's lines, made smaller until it fits.
    void paragraph(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize);
    SheetCanvas m_canvas;
};
