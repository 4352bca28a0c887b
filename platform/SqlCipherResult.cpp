#include "SqlCipherResult.h"

#include "SqlCipherDriver.h"

#include <QByteArray>
#include <QSqlField>
#include <QString>

#include <limits>

#include <sqlcipher/sqlite3.h>

namespace {

QVariant::Type typeOfDeclaration(const char *declared)
{
    if (!declared)
        return QVariant::String;
    const QByteArray type = QByteArray(declared).toLower();
    // The affinity rules SQLite itself applies to declared column types.
    if (type.contains("int"))
        return QVariant::LongLong;
    if (type.contains("char") || type.contains("clob") || type.contains("text"))
        return QVariant::String;
    if (type.contains("blob"))
        return QVariant::ByteArray;
    if (type.contains("real") || type.contains("floa") || type.contains("doub"))
        return QVariant::Double;
    return QVariant::String;
}

// True when the rest of a statement text holds no further statement: white
// space, semicolons and comments prepare to nothing.
bool onlyNoStatementFollows(sqlite3 *db, const char *tail)
{
    while (tail && *tail) {
        sqlite3_stmt *next = nullptr;
        const char *rest = nullptr;
        if (sqlite3_prepare_v2(db, tail, -1, &next, &rest) != SQLITE_OK)
            return false;
        if (next) {
            sqlite3_finalize(next);
            return false;
        }
        if (!rest || rest == tail)
            break;
        tail = rest;
    }
    return true;
}

} // namespace

SqlCipherResult::SqlCipherResult(const SqlCipherDriver *driver)
    : QSqlResult(driver)
{
    driver->attachResult(this);
}

SqlCipherResult::~SqlCipherResult()
{
    // The driver may already be gone; QSqlResult tracks it weakly.
    if (const SqlCipherDriver *owner = cipherDriver())
        owner->detachResult(this);
    finalizeStatement();
}

QVariant SqlCipherResult::handle() const
{
    return QVariant();
}

void SqlCipherResult::finalizeStatement()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    m_row.clear();
    m_pendingRow.clear();
    m_exhausted = true;
}

const SqlCipherDriver *SqlCipherResult::cipherDriver() const
{
    return static_cast<const SqlCipherDriver *>(driver());
}

bool SqlCipherResult::reset(const QString &query)
{
    return prepare(query) && exec();
}

bool SqlCipherResult::prepare(const QString &query)
{
    finalizeStatement();
    m_record = QSqlRecord();
    m_changes = 0;
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    setSelect(false);

    const SqlCipherDriver *owner = cipherDriver();
    if (!owner || !owner->connection()) {
        fail(QStringLiteral("database not open"), QSqlError::ConnectionError, 0);
        return false;
    }
    const QByteArray text = query.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(owner->connection(), text.constData(), text.size(),
                                      &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        fail(QString::fromUtf8(sqlite3_errmsg(owner->connection())),
             QSqlError::StatementError, rc);
        finalizeStatement();
        return false;
    }
    // Only the first statement of a text is run; anything after it would be
    // dropped without a word, which hides mistakes.
    if (!onlyNoStatementFollows(owner->connection(), tail)) {
        fail(QStringLiteral("only one statement can be executed at a time"),
             QSqlError::StatementError, 0);
        finalizeStatement();
        return false;
    }
    buildRecord();
    return true;
}

bool SqlCipherResult::exec()
{
    if (!m_stmt) {
        fail(QStringLiteral("statement not prepared"), QSqlError::StatementError, 0);
        return false;
    }
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    m_row.clear();
    m_pendingRow.clear();
    m_exhausted = false;
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    setLastError(QSqlError());

    if (!bindParameters())
        return false;

    const int outcome = step();
    if (outcome < 0)
        return false;
    if (outcome > 0) {
        readRow(m_pendingRow);
    } else {
        m_exhausted = true;
    }
    m_changes = sqlite3_changes(sqlite3_db_handle(m_stmt));
    setSelect(sqlite3_column_count(m_stmt) > 0);
    setActive(true);
    return true;
}

bool SqlCipherResult::bindParameters()
{
    const int count = sqlite3_bind_parameter_count(m_stmt);
    const QVector<QVariant> values = boundValues();
    for (int index = 1; index <= count; ++index) {
        const char *name = sqlite3_bind_parameter_name(m_stmt, index);
        QVariant value;
        if (!name || name[0] == '?') {
            // Anonymous or numbered: taken by position.
            if (index - 1 >= values.size()) {
                fail(QStringLiteral("parameter count mismatch"), QSqlError::StatementError, 0);
                return false;
            }
            value = values.at(index - 1);
        } else {
            // A named placeholder may occur several times in the text; SQLite
            // gives it one index, Qt one value per occurrence, all equal.
            value = boundValue(QString::fromUtf8(name));
        }
        if (!bindOne(index, value))
            return false;
    }
    return true;
}

bool SqlCipherResult::bindOne(int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.userType()) {
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, index, bytes.constData(),
                                     static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::Char:
        case QMetaType::UChar:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::ULongLong:
            // Above the signed range SQLite would wrap; keep the text instead.
            if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<qint64>::max())) {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text(m_stmt, index, text.constData(), text.size(), SQLITE_TRANSIENT);
            } else {
                rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            }
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, text.constData(), text.size(), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK) {
        fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt))),
             QSqlError::StatementError, rc);
        return false;
    }
    return true;
}

int SqlCipherResult::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return 1;
    if (rc == SQLITE_DONE)
        return 0;
    fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt))),
         QSqlError::StatementError, rc);
    sqlite3_reset(m_stmt);
    return -1;
}

void SqlCipherResult::readRow(QVector<QVariant> &row) const
{
    const int columns = sqlite3_column_count(m_stmt);
    row.resize(columns);
    for (int i = 0; i < columns; ++i) {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            row[i] = QVariant(static_cast<qlonglong>(sqlite3_column_int64(m_stmt, i)));
            break;
        case SQLITE_FLOAT:
            row[i] = QVariant(sqlite3_column_double(m_stmt, i));
            break;
        case SQLITE_BLOB: {
            const char *bytes = static_cast<const char *>(sqlite3_column_blob(m_stmt, i));
            row[i] = QVariant(QByteArray(bytes, sqlite3_column_bytes(m_stmt, i)));
            break;
        }
        case SQLITE_NULL:
            row[i] = QVariant(m_record.field(i).type());
            break;
        default: {
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
            row[i] = QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, i)));
            break;
        }
        }
    }
}

void SqlCipherResult::buildRecord()
{
    m_record = QSqlRecord();
    const int columns = sqlite3_column_count(m_stmt);
    for (int i = 0; i < columns; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(m_stmt, i));
        QSqlField field(name, typeOfDeclaration(sqlite3_column_decltype(m_stmt, i)));
        m_record.append(field);
    }
}

void SqlCipherResult::fail(const QString &text, QSqlError::ErrorType type, int code)
{
    setLastError(QSqlError(QStringLiteral("Unable to execute statement"), text, type,
                           QString::number(code)));
}

QVariant SqlCipherResult::data(int index)
{
    if (index < 0 || index >= m_row.size())
        return QVariant();
    return m_row.at(index);
}

bool SqlCipherResult::isNull(int index)
{
    return index < 0 || index >= m_row.size() || m_row.at(index).isNull();
}

bool SqlCipherResult::fetchNext()
{
    if (!isActive() || !isSelect() || !m_stmt)
        return false;
    // A row always has a column, so an empty pending row means none waits.
    if (!m_pendingRow.isEmpty()) {
        // Handed over, not copied: clearing a shared vector would copy it.
        m_row.swap(m_pendingRow);
        m_pendingRow.clear();
        setAt(at() < 0 ? 0 : at() + 1);
        return true;
    }
    if (m_exhausted)
        return false;
    const int outcome = step();
    if (outcome <= 0) {
        m_exhausted = true;
        m_row.clear();
        return false;
    }
    readRow(m_row);
    setAt(at() < 0 ? 0 : at() + 1);
    return true;
}

bool SqlCipherResult::fetch(int index)
{
    // Forward only: a row behind the current one cannot be read again.
    if (index < 0 || (at() >= 0 && index < at()))
        return false;
    if (at() == index)
        return true;
    while (at() < index) {
        if (!fetchNext())
            return false;
    }
    return true;
}

bool SqlCipherResult::fetchFirst()
{
    if (at() >= 0)
        return at() == 0;
    return fetchNext();
}

bool SqlCipherResult::fetchLast()
{
    QVector<QVariant> last = m_row;
    int lastAt = at();
    while (fetchNext()) {
        last = m_row;
        lastAt = at();
    }
    if (lastAt < 0)
        return false;
    m_row = last;
    setAt(lastAt);
    return true;
}

int SqlCipherResult::size()
{
    return -1;
}

int SqlCipherResult::numRowsAffected()
{
    return m_changes;
}

QSqlRecord SqlCipherResult::record() const
{
    return isActive() && isSelect() ? m_record : QSqlRecord();
}

QVariant SqlCipherResult::lastInsertId() const
{
    const SqlCipherDriver *owner = cipherDriver();
    if (!isActive() || !owner || !owner->connection())
        return QVariant();
    const qint64 id = sqlite3_last_insert_rowid(owner->connection());
    return id ? QVariant(static_cast<qlonglong>(id)) : QVariant();
}

void SqlCipherResult::detachFromResultSet()
{
    // Releases the read lock the statement holds; the rows are gone with it.
    if (m_stmt)
        sqlite3_reset(m_stmt);
    m_row.clear();
    m_pendingRow.clear();
    m_exhausted = true;
}
