#include "Composer.h"

#include "Chapter.h"
#include "Constants.h"
#include "ContentLogging.h"
#include "Exercise.h"
#include "Library.h"
#include "StudentInfo.h"

#include <QDebug>
#include <QStringList>

Composer::Composer(QObject *parent)
    : QObject(parent)
    , m_contestStructure(Constants::contestStructure())
    , m_studentInfo(new StudentInfo(this))
    , m_passScores(Constants::passScores())
{
    qRegisterMetaType<LearnModeEnum>("LearnModeEnum");
    qRegisterMetaType<SeekInfo>("SeekInfo");
}

void Composer::beginComposition()
{
    m_exercises.clear();
    m_totalDuration = 0;
}

// Every situation is preceded by the count-down clip; without the clip (or
// without the situation) the alternation the player and the scoring rely on
// would break, so nothing is appended.
void Composer::appendSituation(Exercise *situation)
{
    if (!situation)
        return;
    if (!m_countDown) {
        qCDebug(lcContent) << "Composer: no count-down clip loaded, situation" << situation->id() << "left out";
        return;
    }
    m_exercises.append(m_countDown);
    m_totalDuration += m_countDown->duration();
    m_exercises.append(situation);
    m_totalDuration += situation->duration();
}

void Composer::finishComposition()
{
    if (!m_exercises.isEmpty())
        m_situationCount = m_exercises.size() / 2;
}

void Composer::compose(LearnModeEnum mode, int chapter, int ex)
{
    beginComposition();
    if (m_library) {
        switch (mode) {
        case SingleSituation:
            appendSituation(m_library->exerciseAt(chapter, ex));
            break;
        case WholeChapter:
            for (Exercise *situation : m_library->exercisesOfChapter(chapter))
                appendSituation(situation);
            break;
        case Examination: {
            const QList<Chapter *> chapters = m_library->chapters();
            const int n = qMin(m_contestStructure.size(), chapters.size());
            for (int i = 0; i < n; ++i) {
                const int k = m_contestStructure.at(i);
                if (k == 0)
                    continue;
                for (Exercise *situation : chapters.at(i)->randomExercises(k))
                    appendSituation(situation);
            }
            break;
        }
        default:
            break;
        }
    } else {
        qCDebug(lcContent) << "Composer: no library set";
    }
    finishComposition();
    m_mode = mode;
    emit loadCompletedContest();
}

void Composer::composeFromIds(const QList<int> &ids)
{
    beginComposition();
    if (m_library) {
        for (Exercise *situation : m_library->exercisesByIds(ids))
            appendSituation(situation);
    }
    if (m_exercises.isEmpty())
        return;
    finishComposition();
    emit loadCompletedContest();
}

QString Composer::videoIdText() const
{
    QStringList ids;
    for (const Exercise *exercise : m_exercises) {
        if (exercise->id() > 0)
            ids.append(QString::number(exercise->id()));
    }
    return ids.join(QLatin1Char(';'));
}

int Composer::passEstimate(const int &total, quint32 row) const
{
    if (m_mode != Examination && m_mode != ExaminationReview)
        return 2;
    if (row >= quint32(m_passScores.size()))
        return 0;
    return total >= m_passScores.at(int(row)) ? 1 : 0;
}

int Composer::passThreshold() const
{
    quint32 row = quint32(m_studentInfo->cert());
    if (row >= quint32(m_passScores.size()))
        row = 0;
    return m_passScores.at(int(row));
}

void Composer::getExerciseIndexByPosition(int position)
{
    qint64 end = 0;
    for (int k = 0; k < m_exercises.size(); ++k) {
        const qint64 start = end;
        end += m_exercises.at(k)->duration();
        if (end > position) {
            SeekInfo info;
            info.exerciseIndex = k;
            info.positionInVideo = position - start;
            info.videoStart = start;
            emit sendSeekInfo(info);
            return;
        }
    }
}
