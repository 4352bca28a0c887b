#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

// What every printed result sheet is drawn with: an A4 page measured in
// millimetres from its top left corner, DejaVu Sans (every Vietnamese letter
// precomposed, and embedded in the PDF, so a sheet prints and reads the same
// on any machine), one-line texts made smaller rather than clipped, and the
// table of situations with its framed total, pass mark and verdict row.
// Painting needs a QGuiApplication.
class SheetCanvas
{
public:
    static constexpr int dotsPerInch = 300;
    static constexpr qreal left = 20;
    static constexpr qreal width = 210 - 2 * left;

    enum Style { Regular = 0, Bold = 1, Italic = 2 };

    // Loads the faces once per canvas; false with the path of the face that
    // could not be loaded.
    bool loadFonts(QString *missing);
    QString family() const { return m_family; }

    // Measures the painter's device and puts the sheet's pen on it.
    void begin(QPainter &painter);
    // A rectangle given in millimetres from the page's top left corner.
    QRectF box(qreal x, qreal y, qreal width, qreal height) const;
    qreal mm(qreal length) const { return length * m_dotsPerMm; }
    qreal dotsPerMm() const { return m_dotsPerMm; }

    // Draws one line of text in the box, made smaller (and at last elided)
    // rather than clipped or spilling over its neighbours.
    void text(QPainter &painter, const QRectF &box, int flags, const QString &text, qreal pointSize,
              int style = Regular) const;
    // The three-column table of situations (the last column bold) and under
    // it the framed row of total, pass mark and verdict; *y moves below both.
    void drawScores(QPainter &painter, const QStringList &headings, const QList<QStringList> &rows, int total,
                    int passMark, bool passed, qreal *y) const;

private:
    QString m_family;
    qreal m_dotsPerMm = 0;
};
