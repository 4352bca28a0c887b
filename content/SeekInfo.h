#pragma once

#include <QMetaType>

// Where the player must go for a position on the contest timeline.
struct SeekInfo
{
    // Playlist entry, count-down clips included.
    int exerciseIndex = 0;
    qint64 positionInVideo = 0;
    // Timeline position at which that entry starts.
    qint64 videoStart = 0;
};

Q_DECLARE_METATYPE(SeekInfo)
