#include "Library.h"

#include "Chapter.h"
#include "Constants.h"
#include "ContentLogging.h"
#include "Exercise.h"

#include <QDebug>

Library::Library(QObject *parent)
    : QObject(parent)
{
    for (int k = 0; k < Constants::chapterCount; ++k) {
        auto *chapter = new Chapter(this);
        chapter->setIndex(k);
        chapter->setName(QStringLiteral("Chương ") + QString::number(k + 1));
        m_chapters.append(chapter);
    }
}

bool Library::validChapter(int chapterIndex) const
{
    if (chapterIndex < 0 || chapterIndex >= m_chapters.size()) {
        qCInfo(lcContent) << "Chapter: index out of range";
        return false;
    }
    return true;
}

void Library::addExercise(int chapterIndex, Exercise *exercise)
{
    if (validChapter(chapterIndex))
        m_chapters.at(chapterIndex)->addExercise(exercise);
}

QList<Exercise *> Library::exercisesOfChapter(int chapterIndex) const
{
    if (!validChapter(chapterIndex))
        return {};
    return m_chapters.at(chapterIndex)->exercises();
}

QList<Exercise *> Library::exercisesByIds(const QList<int> &ids) const
{
    QList<Exercise *> result;
    for (int id : ids) {
        if (id == 0)
            continue;
        for (const Chapter *chapter : m_chapters) {
            for (Exercise *exercise : chapter->exercises()) {
                if (exercise->id() == id)
                    result.append(exercise);
            }
        }
    }
    return result;
}

Exercise *Library::exerciseAt(int chapterIndex, int situationIndex) const
{
    if (!validChapter(chapterIndex))
        return nullptr;
    return m_chapters.at(chapterIndex)->exerciseAt(situationIndex);
}
