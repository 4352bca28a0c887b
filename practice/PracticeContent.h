#pragma once

#include "LearnModeEnum.h"

#include <QList>
#include <QObject>
#include <QString>

class Composer;
class ContestProcedure;
class Exercise;
class Library;
class PlaybackWarmUp;
class PlayerManager;
class SqliteConnection;

// The engine the practice program drives: the station's own content
// database loader, library, composer, flag scoring and player, on a content
// folder (ksm.db and videos/) with the built-in secrets. Every situation is
// played as a composition of its own (learn mode 0), so a chapter or a mock
// examination is a queue of single situations that each end, are scored and
// can be replayed before the next.
//
// The decrypted copies go to a private scratch folder that the player
// manager empties when it is made and when it goes.
class PracticeContent : public QObject
{
    Q_OBJECT
public:
    enum LoadResult {
        Loaded,
        Missing,
        Tampered,
        ClipsMissing,
    };
    Q_ENUM(LoadResult)

    explicit PracticeContent(const QString &scratchFolder, QObject *parent = nullptr);
    ~PracticeContent() override;

    // Folders where an installed pack is looked for, most specific first.
    static QStringList installedFolders();
    static bool looksLikePack(const QString &folder);

    LoadResult load(const QString &folder);
    QString folder() const { return m_folder; }
    // Names the folder and what is wrong with it, for the learner.
    QString problemText() const { return m_problem; }

    Library *library() const { return m_library; }
    Composer *composer() const { return m_composer; }
    ContestProcedure *procedure() const { return m_procedure; }
    PlayerManager *playerManager() const { return m_playerManager; }
    // Started once a pack is loaded, so that the learner's first choice
    // meets a media stack already warm; a choice stops it.
    PlaybackWarmUp *warmUp() const { return m_warmUp; }

    QList<QList<int>> chapterSituationIds() const;
    // -1 when the situation belongs to no chapter.
    int chapterOf(const Exercise *situation) const;
    Exercise *situationById(int id) const;
    // Ten situations drawn by the examination's structure.
    QList<Exercise *> drawMock();

    // Composes the situation, lays its danger window on the timeline and
    // decrypts and loads its clips; false when it is not in the library.
    bool prepareSituation(Exercise *situation);
    qint64 countDownDuration() const;

private:
    SqliteConnection *m_connection = nullptr;
    Library *m_library = nullptr;
    Composer *m_composer;
    ContestProcedure *m_procedure;
    PlayerManager *m_playerManager;
    PlaybackWarmUp *m_warmUp;
    QString m_folder;
    QString m_problem;
};
