#include "PracticeContent.h"

#include "Chapter.h"
#include "Composer.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "Library.h"
#include "PlaybackWarmUp.h"
#include "PlayerManager.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

PracticeContent::PracticeContent(const QString &scratchFolder, QObject *parent)
    : QObject(parent)
    , m_composer(new Composer(this))
    , m_procedure(new ContestProcedure(this))
    , m_playerManager(new PlayerManager(scratchFolder, this))
    , m_warmUp(new PlaybackWarmUp(m_playerManager->scratchFolder() + QLatin1Char('w'), this))
{
    SqlCipherDriver::registerDriver();
    m_playerManager->setComposer(m_composer);
    // The manager acts on the state it is told of; nobody else tells it here.
    connect(m_playerManager->player(), &QMediaPlayer::stateChanged, m_playerManager, &PlayerManager::setState);
    connect(m_composer, &Composer::sendSeekInfo, m_playerManager, &PlayerManager::seekTo);
}

PracticeContent::~PracticeContent()
{
    m_playerManager->requestStop();
}

QStringList PracticeContent::installedFolders()
{
    QStringList folders;
    for (const QString &base : QStandardPaths::standardLocations(QStandardPaths::AppDataLocation))
        folders << base + QStringLiteral("/content");
    const QStringList shared = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &base : shared)
        folders << base + QStringLiteral("/hazard-station");
    // Where the package hazard-demo-content puts its pack: a centre's own
    // pack in any hazard-station folder above wins over it.
    for (const QString &base : shared)
        folders << base + QStringLiteral("/hazard-station/demo/pack");
    return folders;
}

bool PracticeContent::looksLikePack(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/ksm.db")).isFile() && QFileInfo(folder + QStringLiteral("/videos")).isDir();
}

PracticeContent::LoadResult PracticeContent::load(const QString &folder)
{
    m_folder = QDir(folder).absolutePath();
    m_problem.clear();
    if (!looksLikePack(m_folder)) {
        m_problem = tr("Thư mục %1 không có dữ liệu tình huống (tệp ksm.db và thư mục videos).").arg(m_folder);
        return Missing;
    }
    auto *connection = new SqliteConnection(this);
    connection->setDatabasePath(m_folder + QStringLiteral("/ksm.db"));
    connection->setVideoFolder(m_folder + QStringLiteral("/videos"));
    auto *library = new Library(this);
    Exercise *previousCountDown = m_composer->countDown();
    if (!connection->openDatabase() || !connection->loadChapterExercises(library)
        || !connection->loadCountDownExercise(m_composer)) {
        m_composer->setCountDown(previousCountDown);
        delete library;
        delete connection;
        m_problem = tr("Dữ liệu tình huống trong thư mục %1 bị hỏng hoặc đã bị sửa đổi.").arg(m_folder);
        return Tampered;
    }
    QStringList missing;
    QList<const Exercise *> all;
    for (const Chapter *chapter : library->chapters()) {
        for (const Exercise *situation : chapter->exercises())
            all << situation;
    }
    if (m_composer->countDown())
        all << m_composer->countDown();
    for (const Exercise *one : all) {
        if (!QFileInfo(one->filePath()).isFile())
            missing << QFileInfo(one->filePath()).fileName();
    }
    if (!missing.isEmpty() || all.size() < 2) {
        m_composer->setCountDown(previousCountDown);
        delete library;
        delete connection;
        m_problem = tr("Thư mục %1 thiếu video: %2.").arg(m_folder, missing.join(QStringLiteral(", ")));
        return ClipsMissing;
    }
    delete m_library;
    delete m_connection;
    m_library = library;
    m_connection = connection;
    m_composer->setLibrary(m_library);
    const QList<Chapter *> chapters = m_library->chapters();
    if (m_composer->countDown() && !chapters.isEmpty() && !chapters.first()->exercises().isEmpty())
        m_warmUp->start({m_composer->countDown()->filePath(), chapters.first()->exercises().first()->filePath()});
    return Loaded;
}

QList<QList<int>> PracticeContent::chapterSituationIds() const
{
    QList<QList<int>> ids;
    if (!m_library)
        return ids;
    for (const Chapter *chapter : m_library->chapters()) {
        QList<int> one;
        for (const Exercise *situation : chapter->exercises())
            one << situation->id();
        ids << one;
    }
    return ids;
}

int PracticeContent::chapterOf(const Exercise *situation) const
{
    if (!m_library)
        return -1;
    const QList<Chapter *> chapters = m_library->chapters();
    for (int c = 0; c < chapters.size(); ++c) {
        if (chapters.at(c)->exercises().contains(const_cast<Exercise *>(situation)))
            return c;
    }
    return -1;
}

Exercise *PracticeContent::situationById(int id) const
{
    if (!m_library)
        return nullptr;
    const QList<Exercise *> found = m_library->exercisesByIds({id});
    return found.isEmpty() ? nullptr : found.first();
}

QList<Exercise *> PracticeContent::drawMock()
{
    QList<Exercise *> drawn;
    m_composer->compose(Examination, 0, 0);
    for (Exercise *entry : m_composer->exercises()) {
        if (entry != m_composer->countDown())
            drawn << entry;
    }
    return drawn;
}

bool PracticeContent::prepareSituation(Exercise *situation)
{
    const int chapter = chapterOf(situation);
    if (chapter < 0)
        return false;
    const int index = m_library->chapters().at(chapter)->exercises().indexOf(situation);
    m_warmUp->stop();
    m_playerManager->requestStop();
    m_composer->compose(SingleSituation, chapter, index);
    if (m_composer->exercises().size() != 2)
        return false;
    m_procedure->setDangerItems(m_composer->exercises());
    m_playerManager->rebuildPlaylist();
    return true;
}

qint64 PracticeContent::countDownDuration() const
{
    return m_composer->countDown() ? m_composer->countDown()->duration() : 0;
}
