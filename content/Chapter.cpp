#include "Chapter.h"

#include "ContentLogging.h"
#include "Exercise.h"
#include "RandomUtility.h"

#include <QDebug>

Chapter::Chapter(QObject *parent)
    : QObject(parent)
{
}

void Chapter::addExercise(Exercise *exercise)
{
    m_exercises.append(exercise);
}

Exercise *Chapter::exerciseAt(int situationIndex) const
{
    if (situationIndex < 0 || situationIndex >= m_exercises.size()) {
        qCInfo(lcContent) << "Exercise: index out of range";
        return nullptr;
    }
    return m_exercises.at(situationIndex);
}

QList<Exercise *> Chapter::randomExercises(int count) const
{
    QList<Exercise *> drawn;
    const QList<int> indices = RandomUtility::instance()->distinctIndices(count, m_exercises.size());
    for (int index : indices)
        drawn.append(exerciseAt(index));
    return drawn;
}
