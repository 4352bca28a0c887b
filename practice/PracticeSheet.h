#pragma once

#include "SheetCanvas.h"

#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>

class QPainter;
class QPagedPaintDevice;
class QPrinter;

// A mock examination's result sheet: one A4 page in Vietnamese laid out as
// the server's printed result sheets are (title, the table of situations,
// total, pass mark and verdict in one framed row), painted with DejaVu Sans
// so that it reads the same on any machine. Painting needs a
// QGuiApplication.
class PracticeSheet
{
public:
    struct Row
    {
        QString number; // the situation's number in the pack
        int score = 0;
    };

    PracticeSheet(const QDateTime &when, const QList<Row> &rows);

    int total() const;
    QDateTime when() const { return m_when; }
    QList<Row> rows() const { return m_rows; }

    // Writes the PDF whole, or leaves the file as it was and returns false
    // with the reason.
    bool writePdf(const QString &path, QString *why);
    bool print(QPrinter *printer, QString *why);

private:
    bool loadFonts(QString *why);
    void paint(QPainter &painter);
    void drawScores(QPainter &painter, qreal *y);

    QDateTime m_when;
    QList<Row> m_rows;
    SheetCanvas m_canvas;
};
