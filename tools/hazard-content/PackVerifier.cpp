#include "PackVerifier.h"

#include "Chapter.h"
#include "Composer.h"
#include "Constants.h"
#include "DecryptTask.h"
#include "Exercise.h"
#include "Library.h"
#include "MediaProbe.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

namespace {

const char connectionName[] = "hazard-content-verify";

} // namespace

void PackVerifier::fail(const QString &text)
{
    m_findings << QStringLiteral("FAIL: ") + text;
    m_failed = true;
}

bool PackVerifier::verify(const QString &packDir)
{
    m_findings.clear();
    m_failed = false;

    const QStringList problems = m_secrets.problems(true);
    for (const QString &problem : problems)
        fail(problem);
    if (m_failed)
        return false;

    const QString database = QDir(packDir).filePath(QLatin1String(Constants::databaseFile));
    if (!QFileInfo(database).isFile()) {
        fail(QStringLiteral("%1 not found").arg(database));
        return false;
    }
    const bool digestOk = checkDigest(database);
    if (!checkTable(database))
        return false;
    // The station's own loader refuses a pack whose digest does not match,
    // so the content can only be checked through it when the digest is right.
    if (digestOk)
        checkContent(packDir, database);
    return !m_failed;
}

bool PackVerifier::checkDigest(const QString &database)
{
    const QString digest = SqliteConnection::saltedDigest(database, m_secrets.salt.toLatin1());
    if (digest.isEmpty()) {
        fail(QStringLiteral("%1 cannot be read").arg(database));
        return false;
    }
    if (digest != m_secrets.digest) {
        fail(QStringLiteral("digest of salt + %1 is %2, the station expects %3")
                 .arg(QLatin1String(Constants::databaseFile), digest, m_secrets.digest));
        return false;
    }
    ok(QStringLiteral("digest %1 matches").arg(digest));
    return true;
}

bool PackVerifier::checkTable(const QString &database)
{
    SqlCipherDriver::registerDriver();
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName),
                                                    QLatin1String(connectionName));
        db.setDatabaseName(database);
        db.setPassword(m_secrets.password);
        db.setConnectOptions(QLatin1String(SqlCipherDriver::readOnlyOption));
        if (!db.open()) {
            fail(QStringLiteral("the database does not open with the password: %1")
                     .arg(db.lastError().text()));
        } else {
            opened = true;
            ok(QStringLiteral("the database opens with the password (SQLCipher %1)")
                   .arg(static_cast<SqlCipherDriver *>(db.driver())->cipherVersion()));
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("select * from video"))) {
                fail(QStringLiteral("no table video: %1").arg(query.lastError().text()));
            } else {
                // The station reads situations by position and by these names.
                const QSqlRecord record = query.record();
                const bool layout = record.count() >= 7 && record.indexOf(QStringLiteral("name")) >= 0
                                    && record.fieldName(2) == QLatin1String("chapter")
                                    && record.fieldName(4) == QLatin1String("duration")
                                    && record.indexOf(QStringLiteral("th")) >= 0;
                if (!layout)
                    fail(QStringLiteral("table video lacks the station's column layout"));
                const int nameColumn = record.indexOf(QStringLiteral("name"));
                while (layout && query.next()) {
                    const QString name = query.value(nameColumn).toString();
                    const int chapter = query.value(2).toInt();
                    const bool situation = name.startsWith(QLatin1String("chapter"), Qt::CaseInsensitive);
                    // As the station's "count_down%": any one character between.
                    const bool countDown = name.size() >= 10
                                           && name.startsWith(QLatin1String("count"), Qt::CaseInsensitive)
                                           && name.mid(6, 4).compare(QLatin1String("down"), Qt::CaseInsensitive) == 0;
                    if (!situation && !countDown)
                        fail(QStringLiteral("row id %1 (%2) is neither a situation nor the count-down clip")
                                 .arg(query.value(0).toInt())
                                 .arg(name));
                    else if (situation && (chapter < 1 || chapter > Constants::chapterCount))
                        fail(QStringLiteral("row id %1 (%2) has chapter %3, which no station loads")
                                 .arg(query.value(0).toInt())
                                 .arg(name)
                                 .arg(chapter));
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(connectionName));
    return opened;
}

void PackVerifier::checkContent(const QString &packDir, const QString &database)
{
    SqliteConnection connection;
    connection.setDatabasePath(database);
    connection.setSecrets(m_secrets.salt, m_secrets.digest, m_secrets.password);
    if (!connection.openDatabase()) {
        fail(QStringLiteral("the station's loader does not open the database"));
        return;
    }
    Library library;
    Composer composer;
    connection.loadChapterExercises(&library);
    connection.loadCountDownExercise(&composer);

    const QList<int> structure = Constants::contestStructure();
    const QList<Chapter *> chapters = library.chapters();
    for (int i = 0; i < chapters.size(); ++i) {
        const int count = chapters.at(i)->exercises().size();
        const int needed = structure.value(i);
        if (count < needed)
            fail(QStringLiteral("chapter %1 has %2 situation(s); an examination draws %3")
                     .arg(i + 1).arg(count).arg(needed));
        else
            ok(QStringLiteral("chapter %1 has %2 situation(s); an examination draws %3")
                   .arg(i + 1).arg(count).arg(needed));
    }
    if (!composer.countDown())
        fail(QStringLiteral("no count-down clip"));

    if (!MediaProbe::isAvailable()) {
        fail(QStringLiteral("ffprobe is not installed (Debian package ffmpeg); videos not checked"));
        return;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        fail(QStringLiteral("no scratch folder for decrypted copies"));
        return;
    }
    QSet<QString> referenced;
    int checked = 0;
    for (const Chapter *chapter : chapters) {
        const QList<Exercise *> exercises = chapter->exercises();
        for (const Exercise *exercise : exercises) {
            checkVideo(packDir, scratch.path(), exercise,
                       QStringLiteral("situation id %1").arg(exercise->id()));
            referenced << QFileInfo(exercise->filePath()).fileName();
            ++checked;
        }
    }
    if (composer.countDown()) {
        checkVideo(packDir, scratch.path(), composer.countDown(), QStringLiteral("count-down clip"));
        referenced << QFileInfo(composer.countDown()->filePath()).fileName();
        ++checked;
    }
    const QDir videos(QDir(packDir).filePath(QFileInfo(QLatin1String(Constants::videoFolder)).fileName()));
    const QStringList present = videos.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : present) {
        if (!referenced.contains(name))
            m_findings << QStringLiteral("note: %1 is not used by any row").arg(videos.filePath(name));
    }
    ok(QStringLiteral("%1 video(s) checked").arg(checked));
}

void PackVerifier::checkVideo(const QString &packDir, const QString &scratch,
                              const Exercise *exercise, const QString &what)
{
    // The station resolves "./videos/<name>" against its working folder,
    // which is the pack's folder here.
    const QString relative = exercise->filePath();
    const QString path = QDir(packDir).filePath(relative);
    const QString label = QStringLiteral("%1 (%2)").arg(what, QFileInfo(relative).fileName());
    if (!QFileInfo(path).isFile()) {
        fail(QStringLiteral("%1: video file missing").arg(label));
        return;
    }
    const QString plain = QDir(scratch).filePath(QFileInfo(relative).fileName());
    DecryptTask task(path, plain, QByteArray::fromHex(m_secrets.videoKey.toLatin1()));
    task.setAutoDelete(false);
    task.run();
    qint64 measured = 0;
    QString why;
    const bool readable = QFileInfo(plain).isFile() && MediaProbe::probe(plain, &measured, &why);
    QFile::remove(plain);
    if (!readable) {
        fail(QStringLiteral("%1: does not decode as video with the video key: %2").arg(label, why));
        return;
    }
    if (exercise->duration() <= 0 || qAbs(exercise->duration() - measured) > MediaProbe::durationToleranceMs) {
        fail(QStringLiteral("%1: recorded duration %2 ms, the video lasts %3 ms")
                 .arg(label)
                 .arg(exercise->duration())
                 .arg(measured));
        return;
    }
    if (exercise->id() != 0
        && (exercise->dangerStart() < 0 || exercise->dangerStart() >= exercise->dangerEnd()
            || exercise->dangerEnd() > exercise->duration())) {
        fail(QStringLiteral("%1: danger window %2-%3 ms does not fit the video (%4 ms)")
                 .arg(label)
                 .arg(exercise->dangerStart())
                 .arg(exercise->dangerEnd())
                 .arg(exercise->duration()));
        return;
    }
}
