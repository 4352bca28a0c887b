#pragma once

#include <QList>
#include <QObject>

// Random draws for the composition of an examination.
class RandomUtility : public QObject
{
    Q_OBJECT
public:
    static RandomUtility *instance();

    // `count` distinct values in 0..range-1, in the order drawn. Asking for
    // more than the range holds gives the whole range shuffled; a range below
    // 1 gives nothing.
    QList<int> distinctIndices(int count, int range) const;

private:
    RandomUtility() = default;
};
