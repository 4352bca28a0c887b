#pragma once

#include <QList>
#include <QString>

// The outcome of one contest as the flag scoring reports it.
struct ContestResultRecord
{
    int total = 0;
    // Score list "|" flag list, each joined by ";".
    QString detail;
    // Carried for the record's layout; the scoring leaves it 0.
    int reserved = 0;
    // Filled by the main window with the pass or fail text.
    QString verdict;
    // Situations (from 0) whose video did not play: they show no score.
    QList<int> unplayedSituations;
};
