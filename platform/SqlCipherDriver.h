#pragma once

#include <QList>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>

struct sqlite3;
class SqlCipherResult;

// A Qt SQL driver over the SQLCipher library: opens password-protected SQLite
// files. Registered under the name "SQLITECIPHER". A process that uses it must
// not also use the plain SQLite driver: both libraries export the same C
// symbols, so only one of them can be trusted to answer.
class SqlCipherDriver : public QSqlDriver
{
    Q_OBJECT
public:
    // The name under which registerDriver() makes the driver available.
    static const char driverName[];
    // Connect option that opens the file read-only; without it the file is
    // opened read-write and created when missing.
    static const char readOnlyOption[];

    explicit SqlCipherDriver(QObject *parent = nullptr);
    ~SqlCipherDriver() override;

    // Makes the driver known to QSqlDatabase; safe to call more than once.
    static void registerDriver();

    bool hasFeature(DriverFeature feature) const override;
    bool open(const QString &db, const QString &user, const QString &password,
              const QString &host, int port, const QString &connectOptions) override;
    void close() override;
    QSqlResult *createResult() const override;
    QVariant handle() const override;

    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;
    QStringList tables(QSql::TableType type) const override;
    QString escapeIdentifier(const QString &identifier, IdentifierType type) const override;

    // The library's answer to "PRAGMA cipher_version" on the open connection.
    QString cipherVersion() const { return m_cipherVersion; }

private:
    friend class SqlCipherResult;

    sqlite3 *connection() const { return m_db; }
    void attachResult(SqlCipherResult *result) const;
    void detachResult(SqlCipherResult *result) const;
    bool execSimple(const char *sql, QSqlError::ErrorType type);
    bool failOpen(const QString &text, int code);
    QString queryCipherVersion();

    sqlite3 *m_db = nullptr;
    QString m_cipherVersion;
    mutable QList<SqlCipherResult *> m_results;
};
