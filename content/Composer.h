#pragma once

#include "LearnModeEnum.h"
#include "SeekInfo.h"

#include <QList>
#include <QObject>
#include <QString>

class Exercise;
class Library;
class StudentInfo;

// Decides what a contest consists of: a playlist in which the count-down clip
// precedes every situation, either drawn at random by the examination's
// structure or rebuilt from a stored examination. Owns the contest timeline's
// length, the pass thresholds and the candidate record.
class Composer : public QObject
{
    Q_OBJECT
public:
    explicit Composer(QObject *parent = nullptr);

    void setLibrary(Library *library) { m_library = library; }
    void setCountDown(Exercise *countDown) { m_countDown = countDown; }
    Exercise *countDown() const { return m_countDown; }

    void compose(LearnModeEnum mode, int chapter, int ex);
    // The situations of a stored examination, in its order.
    void composeFromIds(const QList<int> &ids);

    QList<Exercise *> exercises() const { return m_exercises; }
    qint64 totalDuration() const { return m_totalDuration; }
    int situationCount() const { return m_situationCount; }
    LearnModeEnum mode() const { return m_mode; }
    void setMode(LearnModeEnum mode) { m_mode = mode; }
    StudentInfo *studentInfo() const { return m_studentInfo; }

    QString videoIdText() const;
    // 1 pass, 0 fail, 2 when the mode has no verdict.
    int passEstimate(const int &total, quint32 row) const;
    int passThreshold() const;

public slots:
    void getExerciseIndexByPosition(int position);

signals:
    void loadCompletedContest();
    void sendSeekInfo(SeekInfo info);

private:
    void beginComposition();
    void appendSituation(Exercise *situation);
    void finishComposition();

    LearnModeEnum m_mode = SingleSituation;
    QList<Exercise *> m_exercises;
    Library *m_library = nullptr;
    Exercise *m_countDown = nullptr;
    QList<int> m_contestStructure;
    qint64 m_totalDuration = 0;
    int m_situationCount = 0;
    StudentInfo *m_studentInfo;
    QList<int> m_passScores;
};
