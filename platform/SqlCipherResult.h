#pragma once

#include <QSqlError>
#include <QSqlRecord>
#include <QSqlResult>
#include <QVariant>
#include <QVector>

struct sqlite3_stmt;
class SqlCipherDriver;

// One statement of a SqlCipherDriver connection. Rows are read forward only;
// the current row is copied out of the statement so that the values stay valid
// while the statement moves on.
class SqlCipherResult : public QSqlResult
{
public:
    explicit SqlCipherResult(const SqlCipherDriver *driver);
    ~SqlCipherResult() override;

    QVariant handle() const override;
    // Called by the driver before its connection closes, so that no statement
    // outlives the connection it was prepared on.
    void finalizeStatement();

protected:
    bool reset(const QString &query) override;
    bool prepare(const QString &query) override;
    bool exec() override;
    QVariant data(int index) override;
    bool isNull(int index) override;
    bool fetch(int index) override;
    bool fetchNext() override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QSqlRecord record() const override;
    QVariant lastInsertId() const override;
    void detachFromResultSet() override;

private:
    const SqlCipherDriver *cipherDriver() const;
    bool bindParameters();
    bool bindOne(int index, const QVariant &value);
    // Steps the statement: 1 on a row, 0 at the end, -1 on an error.
    int step();
    void readRow(QVector<QVariant> &row) const;
    void buildRecord();
    void fail(const QString &text, QSqlError::ErrorType type, int code);

    sqlite3_stmt *m_stmt = nullptr;
    QSqlRecord m_record;
    QVector<QVariant> m_row;
    // exec() steps once to learn whether the statement succeeded; the row it
    // reads waits here for the first fetch (empty when there is none).
    QVector<QVariant> m_pendingRow;
    bool m_exhausted = false;
    int m_changes = 0;
};
