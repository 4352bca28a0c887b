#pragma once

#include "CandidateFlow.h"

#include <QString>
#include <QStringList>

class PackSituations;
class ScreenDriver;

// Walks a running station through what an operator and a candidate do, from
// outside: keys and clicks on its windows, and the picture on screen. It
// enters a refused candidate, then sits an examination, pressing Space when
// each situation's hazard appears, then opens a candidate's stored result
// and replays it. Screenshots of each stage go to a folder.
class StationWalk
{
public:
    struct Candidates
    {
        QString refused;
        QString examination;
        QString review;
    };

    StationWalk(qint64 stationPid, const QString &workingFolder, const PackSituations *pack,
                const ScreenDriver *screen);

    void setShotFolder(const QString &folder, int width);
    // False, with the reason in lastError(), when the station does not do
    // what a user expects within generous time limits.
    bool run(const Candidates &candidates);
    QString lastError() const { return m_error; }
    QStringList shots() const { return m_shots; }

private:
    bool fail(const QString &why);
    void say(const QString &text) const;
    void shoot(const QString &name);
    void pause(int ms) const;

    bool waitForEntry();
    bool enterNumber(const QString &number);
    bool showRefusal(const QString &number);
    bool confirmIdentity(const QString &shot);
    bool clickMainButton(const QString &objectName, const CandidateFlow::Controls &shown);
    bool playExamination();
    bool showResult();
    bool replayReview();

    qint64 m_pid;
    QString m_workingFolder;
    const PackSituations *m_pack;
    const ScreenDriver *m_screen;
    quint64 m_mainWindow = 0;
    QString m_shotFolder;
    int m_shotWidth = 0;
    QStringList m_shots;
    QString m_error;
};
