#pragma once

#include "LearnModeEnum.h"
#include "ResultDetail.h"

#include <QObject>

class Composer;
class ContestProcedure;
class PlayerManager;

// Prepares a contest away from the GUI thread: composition, danger items,
// review flags and the decrypted playlist, then announces it with
// doneResetContest(). Lives on the worker thread; its three collaborators
// belong to the GUI thread, which keeps the user away while it works.
class ContestController : public QObject
{
    Q_OBJECT
public:
    explicit ContestController(QObject *parent = nullptr);

    void setComposer(Composer *composer) { m_composer = composer; }
    void setContestProcedure(ContestProcedure *procedure) { m_contestProcedure = procedure; }
    void setPlayerManager(PlayerManager *playerManager) { m_playerManager = playerManager; }

public slots:
    void onResetContestContent(LearnModeEnum mode, int chapter = 0, int ex = 0);
    // Rebuilds a stored examination with its flags.
    void onReviewContestContent(const ResultDetail &detail);

signals:
    void doneResetContest();

private:
    void restoreFlags(const ResultDetail &detail);

    Composer *m_composer = nullptr;
    ContestProcedure *m_contestProcedure = nullptr;
    PlayerManager *m_playerManager = nullptr;
};
