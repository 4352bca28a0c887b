#pragma once

#include "DangerItem.h"

#include <QColor>
#include <QList>
#include <QPair>
#include <QPixmap>
#include <QWidget>

class ContestProcedure;
class QPaintEvent;

// The timeline bar under the video. Its width stands for the whole contest;
// it paints every situation's danger window as five zones, coloured from the
// score 5 down to 1, and a flag at every recorded flag. It holds no contest
// state of its own: everything comes from the danger items at paint time.
class HzSliderProgressBar : public QWidget
{
    Q_OBJECT
public:
    explicit HzSliderProgressBar(QWidget *parent = nullptr);

    void setContestProcedure(ContestProcedure *procedure) { m_contestProcedure = procedure; }
    // Takes the procedure's item list; the list object lives as long as the
    // procedure, only its contents change.
    void refreshItems();
    // The length of the contest timeline in milliseconds.
    void setMaximum(qint64 maximum) { m_maximum = maximum; }
    qint64 maximum() const { return m_maximum; }

    // Frame and zones drawn, and scored flags snapped into their zone.
    bool showDangerZones = false;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void setupForm();
    QList<DangerItem> itemsToPaint() const;

    qint64 m_maximum = 100;
    QPixmap m_flagPixmap;
    ContestProcedure *m_contestProcedure = nullptr;
    QList<DangerItem *> *m_dangerItems = nullptr;
    QList<QColor> m_zoneColors;
    QList<QPair<int, int>> m_zoneBounds;
};
