#include "ContestController.h"

#include "Composer.h"
#include "ContestProcedure.h"

#include "PlayerManager.h"

#include <QStringList>

ContestController::ContestController(QObject *parent)
    : QObject(parent)
{
}

void ContestController::onResetContestContent(LearnModeEnum mode, int chapter, int ex)
{
    m_contestProcedure->clearDangerItems();
    m_composer->compose(mode, chapter, ex);
    m_contestProcedure->setDangerItems(m_composer->exercises());
    m_playerManager->rebuildPlaylist();
    emit doneResetContest();
}

void ContestController::onReviewContestContent(const QString &scoreStr, const QString &videoStr,
                                               const QString &flagStr)
{
    m_composer->composeFromVideoIds(videoStr);
    m_contestProcedure->setDangerItems(m_composer->exercises());
    restoreFlags(scoreStr, flagStr);
    m_playerManager->rebuildPlaylist();
    emit doneResetContest();
}

// The stored lists come from the server: flags for situations the rebuilt
// contest does not have are dropped, and a flag without a score counts 0.
void ContestController::restoreFlags(const QString &scoreStr, const QString &flagStr)
{
    const QStringList flags = flagStr.split(QLatin1Char(';'));
    const QStringList scores = scoreStr.split(QLatin1Char(';'));
    const int situations = m_composer->exercises().size() / 2;
    for (int i = 0; i < flags.size() && i < situations; ++i) {
        const int flagTime = flags.at(i).toInt();
        if (flagTime <= 0)
            continue;
        const int score = i < scores.size() ? scores.at(i).toInt() : 0;
        m_contestProcedure->setFlag(i, flagTime, score);
    }
}
