#include "ContestController.h"

#include "Composer.h"
#include "ContestProcedure.h"

#include "PlayerManager.h"

#include <limits>

ContestController::ContestController(QObject *parent)
    : QObject(parent)
{
    // Reviews arrive from the GUI thread.
    qRegisterMetaType<ResultDetail>();
}

void ContestController::onResetContestContent(LearnModeEnum mode, int chapter, int ex)
{
    m_contestProcedure->clearDangerItems();
    m_composer->compose(mode, chapter, ex);
    m_contestProcedure->setDangerItems(m_composer->exercises());
    m_playerManager->rebuildPlaylist();
    emit doneResetContest();
}

void ContestController::onReviewContestContent(const ResultDetail &detail)
{
    m_composer->composeFromIds(detail.ids());
    m_contestProcedure->setDangerItems(m_composer->exercises());
    restoreFlags(detail);
    m_playerManager->rebuildPlaylist();
    emit doneResetContest();
}

// The stored lists come from the server: flags for situations the rebuilt
// contest does not have are dropped, and a flag without a score counts 0.
void ContestController::restoreFlags(const ResultDetail &detail)
{
    const QList<qint64> flags = detail.flags();
    const QList<int> scores = detail.scores();
    const int situations = m_composer->exercises().size() / 2;
    for (int i = 0; i < flags.size() && i < situations; ++i) {
        // A flag time beyond the timeline's int range cannot be a press.
        const qint64 flagTime = flags.at(i);
        if (flagTime <= 0 || flagTime > std::numeric_limits<int>::max())
            continue;
        m_contestProcedure->setFlag(i, int(flagTime), scores.value(i));
    }
}
