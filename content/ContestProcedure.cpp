#include "ContestProcedure.h"

#include "Constants.h"
#include "ContentLogging.h"
#include "Exercise.h"
#include "ResultDetail.h"
#include "TimeUtility.h"

#include <QDebug>
#include <QThread>

#include <cmath>

ContestProcedure::ContestProcedure(QObject *parent)
    : QObject(parent)
    , m_dangerItems(new QList<DangerItem *>)
    , m_lookBack(Constants::lookBack)
    , m_lookBackExtra(Constants::lookBackExtra)
{
}

ContestProcedure::~ContestProcedure()
{
    qDeleteAll(*m_dangerItems);
    delete m_dangerItems;
}

void ContestProcedure::swapItems(QList<DangerItem *> &replacement)
{
    {
        QMutexLocker locker(&m_itemsMutex);
        m_dangerItems->swap(replacement);
    }
    // The old items are out of every reader's reach now.
    for (int i = replacement.size() - 1; i >= 0; --i)
        delete replacement.at(i);
    replacement.clear();
}

void ContestProcedure::clearDangerItems()
{
    qCDebug(lcContent) << "clearDangerItems from thread" << QThread::currentThreadId();
    QList<DangerItem *> empty;
    swapItems(empty);
}

void ContestProcedure::setDangerItems(const QList<Exercise *> &playlist)
{
    qCDebug(lcContent) << "clearDangerItems from thread" << QThread::currentThreadId();
    QList<DangerItem *> items;
    qint64 offset = 0;
    for (int i = 1; i < playlist.size(); i += 2) {
        const Exercise *countDown = playlist.at(i - 1);
        const Exercise *situation = playlist.at(i);
        if (!countDown || !situation)
            continue;
        auto *item = new DangerItem;
        item->windowStart = int(offset + countDown->duration() + situation->dangerStart());
        item->windowEnd = int(offset + countDown->duration() + situation->dangerEnd());
        item->spanStart = int(offset + countDown->duration());
        item->spanEnd = int(offset + countDown->duration() + situation->duration());
        item->windowStartText = TimeUtility::positionText(item->windowStart);
        item->windowEndText = TimeUtility::positionText(item->windowEnd);
        items.append(item);
        offset += countDown->duration() + situation->duration();
    }
    swapItems(items);
}

int ContestProcedure::zoneScore(int x, const DangerItem &item)
{
    if (x < item.windowStart || x > item.windowEnd)
        return 0;
    if (x == item.windowEnd)
        return 1;
    const double part = (double(x) - item.windowStart) * 5.0 / (double(item.windowEnd) - item.windowStart);
    return 5 - int(std::floor(part));
}

void ContestProcedure::addFlag(qint64 position)
{
    {
        QMutexLocker locker(&m_itemsMutex);
        for (DangerItem *item : *m_dangerItems) {
            if (item->flagTime != 0)
                continue;
            if (position < item->spanStart || position > item->spanEnd)
                continue;
            const int q = int(position);
            const int r = q - m_lookBackExtra - m_lookBack;
            const int a = zoneScore(q, *item);
            const int b = zoneScore(r, *item);
            if (a >= b) {
                item->score = a;
                item->flagTime = q;
            } else {
                item->score = b;
                item->flagTime = r < 0 ? 0 : r;
            }
            item->flagged = true;
        }
    }
    emit notifyAddFlag();
}

void ContestProcedure::setFlag(int index, qint64 flagTime, int score)
{
    {
        QMutexLocker locker(&m_itemsMutex);
        if (index < 0 || index >= m_dangerItems->size()) {
            qCDebug(lcContent) << "setFlag: no danger item" << index;
            return;
        }
        DangerItem *item = m_dangerItems->at(index);
        item->flagTime = flagTime;
        item->score = score;
        item->flagged = true;
    }
    emit notifyAddFlag();
}

void ContestProcedure::resetFlags()
{
    QMutexLocker locker(&m_itemsMutex);
    for (int i = m_dangerItems->size() - 1; i >= 0; --i) {
        DangerItem *item = m_dangerItems->at(i);
        item->flagged = false;
        item->flagTime = 0;
        item->score = 0;
    }
}

ContestResultRecord ContestProcedure::collectResult() const
{
    ContestResultRecord record;
    QList<int> scores;
    QList<qint64> flags;
    QMutexLocker locker(&m_itemsMutex);
    for (const DangerItem *item : *m_dangerItems) {
        scores.append(item->score);
        flags.append(item->flagTime);
        record.total += item->score;
    }
    record.detail = ResultDetail(scores, flags).scoringText();
    return record;
}

QList<DangerItem> ContestProcedure::dangerItemsSnapshot() const
{
    QList<DangerItem> copy;
    QMutexLocker locker(&m_itemsMutex);
    for (const DangerItem *item : *m_dangerItems)
        copy.append(*item);
    return copy;
}
