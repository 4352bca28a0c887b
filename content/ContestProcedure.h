#pragma once

#include "ContestResultRecord.h"
#include "DangerItem.h"

#include <QList>
#include <QMutex>
#include <QObject>

class Exercise;

// Turns presses of the flag key into scores. Every situation of the composed
// playlist becomes a DangerItem on the contest timeline; a press is scored
// 5..0 by where it falls in its situation's danger window, with a 500 ms
// look-back, and only the first press in a situation counts.
//
// The items are rebuilt on the worker thread while the timeline bar paints
// them on the GUI thread, so every access goes through `itemsMutex()`. A
// rebuild prepares the new items completely and swaps them in under the lock.
class ContestProcedure : public QObject
{
    Q_OBJECT
public:
    explicit ContestProcedure(QObject *parent = nullptr);
    ~ContestProcedure() override;

    void clearDangerItems();
    // One item per situation of a playlist alternating count-down clip and
    // situation.
    void setDangerItems(const QList<Exercise *> &playlist);
    void addFlag(qint64 position);
    // Restores a recorded flag; an index outside the items is ignored.
    void setFlag(int index, qint64 flagTime, int score);
    void resetFlags();
    ContestResultRecord collectResult() const;

    // The live list; read it only while holding `itemsMutex()`.
    QList<DangerItem *> *dangerItems() const { return m_dangerItems; }
    QMutex *itemsMutex() const { return &m_itemsMutex; }
    // A consistent copy for readers on other threads.
    QList<DangerItem> dangerItemsSnapshot() const;

    static int zoneScore(int x, const DangerItem &item);

signals:
    void notifyAddFlag();

private:
    void swapItems(QList<DangerItem *> &replacement);

    QList<DangerItem *> *m_dangerItems;
    int m_lookBack;
    int m_lookBackExtra;
    mutable QMutex m_itemsMutex;
};
