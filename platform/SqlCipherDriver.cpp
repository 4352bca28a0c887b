#include "SqlCipherDriver.h"

#include "SqlCipherResult.h"

#include <QSqlDatabase>
#include <QStringList>

#include <mutex>

#include <sqlcipher/sqlite3.h>

const char SqlCipherDriver::driverName[] = "SQLITECIPHER";
const char SqlCipherDriver::readOnlyOption[] = "SQLCIPHER_OPEN_READONLY";

namespace {

QString libraryMessage(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

bool readOnlyRequested(const QString &connectOptions)
{
    const QStringList options = connectOptions.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &option : options) {
        const QString name = option.trimmed();
        // The plain driver's spelling is accepted too, so that code moving
        // between the two drivers keeps its read-only promise.
        if (name == QLatin1String(SqlCipherDriver::readOnlyOption)
            || name == QLatin1String("QSQLITE_OPEN_READONLY"))
            return true;
    }
    return false;
}

} // namespace

SqlCipherDriver::SqlCipherDriver(QObject *parent)
    : QSqlDriver(parent)
{
}

SqlCipherDriver::~SqlCipherDriver()
{
    close();
}

void SqlCipherDriver::registerDriver()
{
    // QSqlDatabase keeps the creator for the life of the process; registering
    // twice would silently drop (and leak) the first one.
    static std::once_flag once;
    std::call_once(once, [] {
        QSqlDatabase::registerSqlDriver(QLatin1String(driverName),
                                        new QSqlDriverCreator<SqlCipherDriver>);
    });
}

bool SqlCipherDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case NamedPlaceholders:
    case PositionalPlaceholders:
    case LastInsertId:
    case LowPrecisionNumbers:
    case FinishQuery:
    case SimpleLocking:
        return true;
    case QuerySize:
    case BatchOperations:
    case EventNotifications:
    case MultipleResultSets:
    case CancelQuery:
        return false;
    }
    return false;
}

bool SqlCipherDriver::open(const QString &db, const QString &user, const QString &password,
                           const QString &host, int port, const QString &connectOptions)
{
    Q_UNUSED(user)
    Q_UNUSED(host)
    Q_UNUSED(port)

    if (isOpen())
        close();

    if (password.isEmpty())
        return failOpen(QStringLiteral("a password is required to open an encrypted database"), 0);

    const int flags = readOnlyRequested(connectOptions)
        ? SQLITE_OPEN_READONLY
        : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    const QByteArray path = db.toUtf8();
    int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK)
        return failOpen(libraryMessage(m_db), rc);

    // A plain SQLite library bound in place of SQLCipher would take the key
    // without a word and then read and write the file unencrypted; only the
    // real library answers this pragma. It must be asked before the key call,
    // which does not exist in the plain library's connection layout.
    m_cipherVersion = queryCipherVersion();
    if (m_cipherVersion.isEmpty())
        return failOpen(QStringLiteral("the SQLite library in use does not support encryption "
                                       "(PRAGMA cipher_version gave no answer)"),
                        0);

    const QByteArray key = password.toUtf8();
    rc = sqlite3_key(m_db, key.constData(), key.size());
    if (rc != SQLITE_OK)
        return failOpen(libraryMessage(m_db), rc);

    // The key call never fails for a wrong password; the first read of the
    // file does, so read the schema before claiming success.
    rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failOpen(libraryMessage(m_db), rc);

    setOpen(true);
    setOpenError(false);
    setLastError(QSqlError());
    return true;
}

void SqlCipherDriver::close()
{
    if (!m_db)
        return;
    // Results stay attached after this: a query object may outlive the close
    // and prepare again on the next open of the same driver.
    const QList<SqlCipherResult *> results = m_results;
    for (SqlCipherResult *result : results)
        result->finalizeStatement();
    // Every statement is finalized by now; the _v2 form would still defer
    // the release safely if one were not.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_cipherVersion.clear();
    setOpen(false);
    setOpenError(false);
}

QSqlResult *SqlCipherDriver::createResult() const
{
    return new SqlCipherResult(this);
}

QVariant SqlCipherDriver::handle() const
{
    return QVariant();
}

bool SqlCipherDriver::beginTransaction()
{
    return execSimple("BEGIN", QSqlError::TransactionError);
}

bool SqlCipherDriver::commitTransaction()
{
    return execSimple("COMMIT", QSqlError::TransactionError);
}

bool SqlCipherDriver::rollbackTransaction()
{
    return execSimple("ROLLBACK", QSqlError::TransactionError);
}

QStringList SqlCipherDriver::tables(QSql::TableType type) const
{
    QStringList names;
    if (!m_db)
        return names;
    QString sql;
    if (type & QSql::Tables)
        sql = QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'");
    if (type & QSql::Views)
        sql = sql.isEmpty() ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'view'")
                            : QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')");
    if (type & QSql::SystemTables)
        names << QStringLiteral("sqlite_master");
    if (sql.isEmpty())
        return names;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), text.size(), &stmt, nullptr) != SQLITE_OK)
        return names;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return names;
}

QString SqlCipherDriver::escapeIdentifier(const QString &identifier, IdentifierType type) const
{
    Q_UNUSED(type)
    if (identifier.startsWith(QLatin1Char('"')) && identifier.endsWith(QLatin1Char('"'))
        && identifier.size() > 1)
        return identifier;
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void SqlCipherDriver::attachResult(SqlCipherResult *result) const
{
    m_results.append(result);
}

void SqlCipherDriver::detachResult(SqlCipherResult *result) const
{
    m_results.removeAll(result);
}

bool SqlCipherDriver::execSimple(const char *sql, QSqlError::ErrorType type)
{
    if (!m_db) {
        setLastError(QSqlError(QString(), QStringLiteral("database not open"), type));
        return false;
    }
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        setLastError(QSqlError(QString(), libraryMessage(m_db), type, QString::number(rc)));
        return false;
    }
    return true;
}

bool SqlCipherDriver::failOpen(const QString &text, int code)
{
    setLastError(QSqlError(QStringLiteral("Error opening database"), text,
                           QSqlError::ConnectionError, QString::number(code)));
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_cipherVersion.clear();
    setOpen(false);
    setOpenError(true);
    return false;
}

QString SqlCipherDriver::queryCipherVersion()
{
    QString version;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA cipher_version", -1, &stmt, nullptr) != SQLITE_OK)
        return version;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        version = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return version;
}
