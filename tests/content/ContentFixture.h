#pragma once

#include "Exercise.h"
#include "Library.h"

#include <QObject>

// Builds small libraries of situations for the content tests. Situation ids
// are chapter * 100 + position, so a drawn id tells where it came from.
namespace ContentFixture {

inline Exercise *makeExercise(QObject *owner, int id, qint64 duration, qint64 dangerStart = 0, qint64 dangerEnd = 0)
{
    auto *exercise = new Exercise(owner);
    exercise->setId(id);
    exercise->setFilePath(QStringLiteral("./videos/clip%1.mp4").arg(id));
    exercise->setDuration(duration);
    exercise->setDangerStart(dangerStart);
    exercise->setDangerEnd(dangerEnd);
    exercise->setNumber(QString::number(id % 100));
    return exercise;
}

inline QList<int> idsOf(const QList<Exercise *> &exercises)
{
    QList<int> ids;
    for (const Exercise *exercise : exercises)
        ids << exercise->id();
    return ids;
}

// Fills chapters 1..6 with `perChapter[i]` situations of `duration` ms each.
inline void fillLibrary(Library &library, QObject *owner, const QList<int> &perChapter, qint64 duration = 20000)
{
    for (int chapter = 0; chapter < perChapter.size(); ++chapter)
        for (int k = 1; k <= perChapter.at(chapter); ++k)
            library.addExercise(chapter, makeExercise(owner, (chapter + 1) * 100 + k, duration, 2000, 7000));
}

} // namespace ContentFixture
