#include "SqliteBackend.h"

#include "StoreConnection.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QString SqliteBackend::fullLocation(const QString &location) const
{
    return QFileInfo(location).absoluteFilePath();
}

bool SqliteBackend::connect(StoreConnection &connection, const QString &location, bool mustExist)
{
    const QFileInfo info(location);
    const bool existed = info.exists();
    if (mustExist && !existed)
        return connection.fail(
            QStringLiteral("no database at %1 (create one with: hazard-server init --db %1)").arg(location));
    if (existed && !info.isFile())
        return connection.fail(QStringLiteral("%1 is not a file").arg(location));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection.name());
        db.setDatabaseName(location);
        // The operator's commands write while the server serves; let a writer
        // wait for the other instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            const QString why = QStringLiteral("cannot open %1: %2").arg(location, db.lastError().text());
            db = QSqlDatabase();
            connection.drop();
            return connection.fail(why);
        }
    }
    // Identity numbers, photos and results are personal data: a new database
    // is for its owner only (SQLite gives its journal files the same mode).
    if (!existed)
        QFile::setPermissions(location, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool SqliteBackend::readVersion(StoreConnection &connection, const QString &shown, int *version)
{
    QSqlQuery query(connection.database());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return connection.fail(QStringLiteral("%1 is not an SQLite database").arg(shown), query.lastError());
    *version = query.value(0).toInt();
    if (*version != 0)
        return true;
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
        return connection.fail(QStringLiteral("%1 is not an SQLite database").arg(shown), query.lastError());
    if (query.value(0).toInt() != 0)
        return connection.fail(QStringLiteral("%1 holds another kind of database").arg(shown));
    return true;
}

bool SqliteBackend::prepareDatabase(StoreConnection &connection, const QString &shown)
{
    QSqlQuery query(connection.database());
    // WAL lets the server read while a command writes, and the reverse.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString().toLower() != QLatin1String("wal")) {
        return connection.fail(QStringLiteral("cannot switch %1 to WAL journal").arg(shown), query.lastError());
    }
    query.finish();
    if (!query.exec(QStringLiteral("PRAGMA foreign_keys=ON")))
        return connection.fail(QStringLiteral("cannot enable foreign keys"), query.lastError());
    return true;
}

QString SqliteBackend::beginStatement() const
{
    // The write lock at once, so that what a transaction reads stays true
    // until it commits even when an operator's command writes to the file.
    return QStringLiteral("BEGIN IMMEDIATE");
}

QString SqliteBackend::writeVersionStatement(int version) const
{
    return QStringLiteral("PRAGMA user_version = %1").arg(version);
}

QString SqliteBackend::courseTable() const
{
    return QStringLiteral("CREATE TABLE course ("
                          " code TEXT PRIMARY KEY NOT NULL,"
                          " name TEXT NOT NULL)");
}

QString SqliteBackend::serialKey() const
{
    return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
}

QString SqliteBackend::coursesInOrder() const
{
    return QStringLiteral("SELECT code, name FROM course ORDER BY rowid");
}

bool SqliteBackend::renewHolds(StoreConnection &, const QSet<int> &held, const QString &, QSet<int> *renewed)
{
    // Nobody else could have removed them.
    *renewed = held;
    return true;
}
