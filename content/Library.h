#pragma once

#include <QList>
#include <QObject>

class Chapter;
class Exercise;

// The in-memory catalogue of situations: exactly six chapters, filled once by
// the content loader and only read afterwards.
class Library : public QObject
{
    Q_OBJECT
public:
    explicit Library(QObject *parent = nullptr);

    // Chapter indices outside 0..5 are refused with a log line.
    void addExercise(int chapterIndex, Exercise *exercise);
    QList<Chapter *> chapters() const { return m_chapters; }
    QList<Exercise *> exercisesOfChapter(int chapterIndex) const;
    // In the order of `ids`; 0 is skipped, unknown ids give nothing, a
    // repeated id gives its exercise again.
    QList<Exercise *> exercisesByIds(const QList<int> &ids) const;
    Exercise *exerciseAt(int chapterIndex, int situationIndex) const;

private:
    bool validChapter(int chapterIndex) const;

    QList<Chapter *> m_chapters;
};
