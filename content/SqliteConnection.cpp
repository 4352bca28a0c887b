#include "SqliteConnection.h"

#include "Composer.h"
#include "Constants.h"
#include "ContentLogging.h"
#include "Exercise.h"
#include "Library.h"
#include "SqlCipherDriver.h"
#include "TimeUtility.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QVariant>

namespace {

constexpr qint64 digestChunkSize = 256 * 1024;

// A connection name of each open's own: a second content loader in the
// process (the practice program changing packs) neither replaces the first
// one's connection nor has it closed by the first one's clean-up.
QString uniqueConnectionName()
{
    static QAtomicInteger<quint64> next;
    return QStringLiteral("content-%1").arg(next.fetchAndAddRelaxed(1));
}

qint64 timeCodeToMilliseconds(const QString &text)
{
    return TimeUtility::timeToMilliseconds(QTime::fromString(text, QStringLiteral("hh:mm:ss")));
}

QString videoPath(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

} // namespace

SqliteConnection::SqliteConnection(QObject *parent)
    : QObject(parent)
    , m_databasePath(QLatin1String(Constants::databaseFile))
    , m_videoFolder(QLatin1String(Constants::videoFolder))
    , m_salt(Constants::dbSalt())
    , m_digest(Constants::dbDigest())
    , m_password(Constants::dbPassword())
{
}

SqliteConnection::~SqliteConnection()
{
    removeConnection();
}

void SqliteConnection::setSecrets(const QString &salt, const QString &digest,
                                  const QString &password)
{
    m_salt = salt;
    m_digest = digest;
    m_password = password;
}

QString SqliteConnection::saltedDigest(const QString &path, const QByteArray &salt)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(salt);
    QByteArray chunk(int(digestChunkSize), Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), digestChunkSize);
        if (got < 0)
            return QString();
        if (got == 0)
            break;
        hash.addData(chunk.constData(), int(got));
    }
    return QString::fromLatin1(hash.result().toHex());
}

bool SqliteConnection::openDatabase()
{
    removeConnection();

    const QString digest = saltedDigest(m_databasePath, m_salt.toLatin1());
    if (digest.isEmpty()) {
        qCInfo(lcContent) << "Tập tin dữ liệu SQlite không tồn tại";
        return false;
    }
    if (digest != m_digest)
        return false;

    SqlCipherDriver::registerDriver();
    m_database = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName), uniqueConnectionName());
    m_database.setDatabaseName(m_databasePath);
    m_database.setPassword(m_password);
    // Nothing in the station writes content; a read-only handle keeps it so.
    m_database.setConnectOptions(QLatin1String(SqlCipherDriver::readOnlyOption));
    if (!m_database.open()) {
        qCInfo(lcContent) << "Content database not opened:" << m_database.lastError().text();
        return false;
    }
    return true;
}

bool SqliteConnection::loadChapterExercises(Library *library)
{
    // A database that did not open has no rows to give.
    if (!m_database.isOpen())
        return true;
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("select * from video where name like :name order by chapter, th"));
    query.bindValue(QStringLiteral(":name"), QStringLiteral("chapter%"));
    query.exec();

    const int nameColumn = query.record().indexOf(QStringLiteral("name"));
    while (query.next()) {
        const int id = query.value(0).toInt();
        const int chapter = query.value(2).toInt();
        // The library has chapters 1 to 6 only; a row outside them has no
        // place in any contest.
        if (chapter < 1 || chapter > Constants::chapterCount) {
            qCInfo(lcContent) << "Skipping video row" << id << "with chapter" << chapter
                     << "outside 1 to" << Constants::chapterCount;
            continue;
        }
        auto *exercise = new Exercise(this);
        exercise->setId(id);
        exercise->setFilePath(videoPath(m_videoFolder, query.value(nameColumn).toString()));
        exercise->setDuration(query.value(4).toLongLong());
        exercise->setDangerStart(timeCodeToMilliseconds(query.value(5).toString()));
        exercise->setDangerEnd(timeCodeToMilliseconds(query.value(6).toString()));
        exercise->setNumber(QString::number(query.value(3).toInt()));
        if (library)
            library->addExercise(chapter - 1, exercise);
    }
    return true;
}

bool SqliteConnection::loadCountDownExercise(Composer *composer)
{
    if (!m_database.isOpen())
        return true;
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("select * from video where name like :name"));
    query.bindValue(QStringLiteral(":name"), QStringLiteral("count_down%"));
    query.exec();

    const QSqlRecord record = query.record();
    const int nameColumn = record.indexOf(QStringLiteral("name"));
    const int durationColumn = record.indexOf(QStringLiteral("duration"));
    while (query.next()) {
        auto *exercise = new Exercise(this);
        exercise->setId(0);
        exercise->setFilePath(videoPath(m_videoFolder, query.value(nameColumn).toString()));
        exercise->setDuration(query.value(durationColumn).toLongLong());
        exercise->setDangerStart(0);
        exercise->setDangerEnd(0);
        if (composer)
            composer->setCountDown(exercise);
    }
    return true;
}

void SqliteConnection::removeConnection()
{
    // Empty until openDatabase() has added the connection.
    const QString name = m_database.connectionName();
    if (name.isEmpty())
        return;
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}
