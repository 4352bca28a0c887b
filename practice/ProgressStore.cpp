#include "ProgressStore.h"

#include "PracticeLogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int schemaVersion = 1;

const char *const companionSuffixes[] = {"-wal", "-shm", "-journal"};

QString timeText(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeFromText(const QString &text)
{
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    when.setTimeSpec(Qt::UTC);
    return when.toLocalTime();
}

} // namespace

ProgressStore::ProgressStore(QObject *parent)
    : QObject(parent)
    , m_connection(QStringLiteral("progress-%1").arg(quintptr(this), 0, 16))
{
}

ProgressStore::~ProgressStore()
{
    close();
}

QString ProgressStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/progress.db");
}

bool ProgressStore::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && QSqlDatabase::database(m_connection, false).isOpen();
}

void ProgressStore::close()
{
    dropConnection();
}

void ProgressStore::dropConnection()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool ProgressStore::openConnection()
{
    dropConnection();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    return true;
}

// Damage shows either as a file SQLite refuses outright or as one whose
// pages fail the quick check; a file of another program (tables but not
// ours) counts too, as writing into it would mix two things.
bool ProgressStore::fileLooksDamaged()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
        return true;
    if (check.value(0).toString() != QLatin1String("ok"))
        return true;
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        return true;
    const int found = version.value(0).toInt();
    if (found == 0) {
        QSqlQuery tables(db);
        if (!tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !tables.next())
            return true;
        return tables.value(0).toInt() != 0;
    }
    if (found != schemaVersion)
        return false;
    QSqlQuery probe(db);
    return !probe.exec(QStringLiteral("SELECT id, situation, mode, flag_time, score, taken_at, mock FROM attempt LIMIT 1"))
        || !probe.exec(QStringLiteral("SELECT id, started_at, finished FROM mock LIMIT 1"));
}

bool ProgressStore::setAside()
{
    dropConnection();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(m_path, target)) {
        m_error = tr("Không thể chuyển tệp tiến độ bị hỏng %1 sang chỗ khác").arg(m_path);
        return false;
    }
    for (const char *suffix : companionSuffixes) {
        const QString companion = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(companion))
            QFile::rename(companion, target + QLatin1String(suffix));
    }
    m_setAsidePath = target;
    qCWarning(lcPractice) << "damaged progress file moved to" << target;
    return true;
}

bool ProgressStore::prepareSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    // WAL keeps every committed attempt when the program dies mid-write;
    // NORMAL is durable enough for it and spares a sync per read.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        m_error = tr("Tệp tiến độ không chuyển được sang chế độ WAL: %1").arg(query.lastError().text());
        return false;
    }
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    query.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        m_error = version.lastError().text();
        return false;
    }
    const int found = version.value(0).toInt();
    if (found == schemaVersion)
        return true;
    if (found > schemaVersion) {
        m_error = tr("Tệp tiến độ %1 do một phiên bản mới hơn của chương trình ghi").arg(m_path);
        return false;
    }
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    const QStringList statements = {
        QStringLiteral("CREATE TABLE mock (id INTEGER PRIMARY KEY, started_at TEXT NOT NULL, "
                       "finished INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE attempt (id INTEGER PRIMARY KEY, situation INTEGER NOT NULL, "
                       "mode INTEGER NOT NULL, flag_time INTEGER NOT NULL, "
                       "score INTEGER NOT NULL CHECK (score BETWEEN 0 AND 5), taken_at TEXT NOT NULL, "
                       "mock INTEGER REFERENCES mock(id))"),
        QStringLiteral("CREATE INDEX attempt_situation ON attempt(situation)"),
        QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion),
    };
    for (const QString &statement : statements) {
        QSqlQuery create(db);
        if (!create.exec(statement)) {
            m_error = create.lastError().text();
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        m_error = db.lastError().text();
        return false;
    }
    return true;
}

ProgressStore::OpenResult ProgressStore::open(const QString &path)
{
    m_path = path;
    m_setAsidePath.clear();
    m_error.clear();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        m_error = tr("Không tạo được thư mục %1").arg(info.absolutePath());
        return Failed;
    }
    if (!openConnection())
        return Failed;
    OpenResult result = Opened;
    if (info.exists() && fileLooksDamaged()) {
        if (!setAside())
            return Failed;
        if (!openConnection())
            return Failed;
        result = StartedAfterDamage;
    }
    if (!prepareSchema()) {
        dropConnection();
        return Failed;
    }
    return result;
}

bool ProgressStore::recordAttempt(const Attempt &attempt)
{
    if (!isOpen()) {
        m_error = tr("Tệp tiến độ chưa được mở");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO attempt (situation, mode, flag_time, score, taken_at, mock) "
                                  "VALUES (?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(attempt.situationId);
    insert.addBindValue(attempt.mode);
    insert.addBindValue(attempt.flagTime);
    insert.addBindValue(attempt.score);
    insert.addBindValue(timeText(attempt.when.isValid() ? attempt.when : QDateTime::currentDateTime()));
    insert.addBindValue(attempt.mockId > 0 ? QVariant(attempt.mockId) : QVariant(QVariant::LongLong));
    if (!insert.exec()) {
        m_error = insert.lastError().text();
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

qint64 ProgressStore::beginMock(const QDateTime &when)
{
    if (!isOpen())
        return 0;
    QSqlQuery insert(QSqlDatabase::database(m_connection, false));
    insert.prepare(QStringLiteral("INSERT INTO mock (started_at) VALUES (?)"));
    insert.addBindValue(timeText(when));
    if (!insert.exec()) {
        m_error = insert.lastError().text();
        return 0;
    }
    return insert.lastInsertId().toLongLong();
}

bool ProgressStore::finishMock(qint64 mockId)
{
    if (!isOpen())
        return false;
    QSqlQuery update(QSqlDatabase::database(m_connection, false));
    update.prepare(QStringLiteral("UPDATE mock SET finished = 1 WHERE id = ?"));
    update.addBindValue(mockId);
    if (!update.exec() || update.numRowsAffected() != 1) {
        m_error = update.lastError().text();
        return false;
    }
    return true;
}

QList<ProgressStore::Attempt> ProgressStore::attempts() const
{
    QList<Attempt> list;
    if (!isOpen())
        return list;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT situation, mode, flag_time, score, taken_at, mock FROM attempt ORDER BY id"))) {
        m_error = query.lastError().text();
        return list;
    }
    while (query.next()) {
        Attempt attempt;
        attempt.situationId = query.value(0).toInt();
        attempt.mode = query.value(1).toInt();
        attempt.flagTime = query.value(2).toLongLong();
        attempt.score = query.value(3).toInt();
        attempt.when = timeFromText(query.value(4).toString());
        attempt.mockId = query.value(5).toLongLong();
        list.append(attempt);
    }
    return list;
}

QHash<int, ProgressStore::SituationProgress> ProgressStore::progressBySituation() const
{
    QHash<int, SituationProgress> progress;
    if (!isOpen())
        return progress;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT situation, max(score), avg(score), count(*) FROM attempt GROUP BY situation"))) {
        m_error = query.lastError().text();
        return progress;
    }
    while (query.next()) {
        SituationProgress one;
        one.situationId = query.value(0).toInt();
        one.best = query.value(1).toInt();
        one.average = query.value(2).toDouble();
        one.attempts = query.value(3).toInt();
        progress.insert(one.situationId, one);
    }
    return progress;
}

QList<ProgressStore::SituationProgress> ProgressStore::missedSituations() const
{
    QList<SituationProgress> missed;
    const QHash<int, SituationProgress> progress = progressBySituation();
    for (const SituationProgress &one : progress) {
        if (one.best < masteredScore)
            missed.append(one);
    }
    std::sort(missed.begin(), missed.end(), [](const SituationProgress &a, const SituationProgress &b) {
        if (a.best != b.best)
            return a.best < b.best;
        if (!qFuzzyCompare(a.average + 1, b.average + 1))
            return a.average < b.average;
        if (a.attempts != b.attempts)
            return a.attempts > b.attempts;
        return a.situationId < b.situationId;
    });
    return missed;
}

QList<ProgressStore::ChapterStatistics> ProgressStore::chapterStatistics(const QList<QList<int>> &chapterSituations) const
{
    const QHash<int, SituationProgress> progress = progressBySituation();
    QList<ChapterStatistics> list;
    for (int c = 0; c < chapterSituations.size(); ++c) {
        ChapterStatistics stats;
        stats.chapter = c;
        stats.situations = chapterSituations.at(c).size();
        int bestSum = 0;
        double scoreSum = 0;
        int mastered = 0;
        for (int id : chapterSituations.at(c)) {
            const auto found = progress.constFind(id);
            if (found == progress.constEnd())
                continue;
            ++stats.tried;
            stats.attempts += found->attempts;
            bestSum += found->best;
            scoreSum += found->average * found->attempts;
            if (found->best >= masteredScore)
                ++mastered;
        }
        if (stats.tried > 0) {
            stats.best = double(bestSum) / stats.tried;
            stats.average = scoreSum / stats.attempts;
        }
        if (stats.situations > 0)
            stats.mastered = double(mastered) / stats.situations;
        list.append(stats);
    }
    return list;
}

QList<ProgressStore::MockTotal> ProgressStore::mockTotals() const
{
    QList<MockTotal> list;
    if (!isOpen())
        return list;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT m.id, m.started_at, coalesce(sum(a.score), 0), count(a.id) "
                                   "FROM mock m LEFT JOIN attempt a ON a.mock = m.id "
                                   "WHERE m.finished = 1 GROUP BY m.id ORDER BY m.started_at, m.id"))) {
        m_error = query.lastError().text();
        return list;
    }
    while (query.next()) {
        MockTotal total;
        total.id = query.value(0).toLongLong();
        total.when = timeFromText(query.value(1).toString());
        total.total = query.value(2).toInt();
        total.situations = query.value(3).toInt();
        list.append(total);
    }
    return list;
}
