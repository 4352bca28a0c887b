#pragma once

#include <QList>
#include <QObject>
#include <QString>

class Exercise;

// One of the six chapters of the situation library. Holds non-owning pointers:
// the exercises belong to the content loader.
class Chapter : public QObject
{
public:
    explicit Chapter(QObject *parent = nullptr);

    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    void addExercise(Exercise *exercise);
    QList<Exercise *> exercises() const { return m_exercises; }
    // Null, with a log line, when the index is outside the chapter.
    Exercise *exerciseAt(int situationIndex) const;
    // `count` distinct situations in drawing order; all of them, shuffled,
    // when the chapter holds fewer than asked.
    QList<Exercise *> randomExercises(int count) const;

private:
    int m_index = 0;
    QString m_name;
    QList<Exercise *> m_exercises;
};
