#pragma once

#include "CandidateRecord.h"
#include "CourseRecord.h"
#include "ResultFilter.h"
#include "ResultRecord.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSharedPointer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class QSqlDatabase;
class QSqlQuery;

// The server's database: courses, candidates and results, in an SQLite file
// or in a PostgreSQL database that several servers share. Every operation
// reports failure by its result and leaves the reason in lastError();
// nothing is cached, so several processes (servers and the operator's
// commands) can share one database.
//
// A PostgreSQL connection that is lost (the database restarted, the network
// cut) fails the operation in hand; reconnectIfBroken() then connects again,
// soon and then less often, and takes back the candidate holds this store
// had.
class ServerStore : public QObject
{
    Q_OBJECT
public:
    enum class OpenMode { CreateIfMissing, MustExist };
    enum class Lookup { Found, Missing, Failed };
    enum class Upload { Stored, Duplicate, Rejected, Failed };
    enum class Lock { Taken, Busy, Failed };

    // The schema this program writes; older databases are upgraded when
    // opened, newer ones refused.
    static constexpr int schemaVersion = 3;

    // The largest encrypted entry answer a frame can carry bounds the
    // candidate's texts: identity number, name and photo together.
    static constexpr int maxIdentityBytes = 65504 - 24;

    explicit ServerStore(QObject *parent = nullptr);
    ~ServerStore() override;

    // A file path, or postgresql://USER@HOST:PORT/DBNAME[?libpq options].
    // A PostgreSQL password comes from PGPASSWORD or a pgpass file only.
    bool open(const QString &location, OpenMode mode);
    void close();
    bool isOpen() const;
    // The location as given; for PostgreSQL without any password.
    QString path() const { return m_path; }
    QString lastError() const { return m_lastError; }
    // Whether the last open() laid out the tables.
    bool created() const { return m_created; }
    bool isShared() const { return m_postgres; }
    static bool isPostgresLocation(const QString &location);
    // What path() gives for a location once it is open.
    static QString shownLocation(const QString &location);

    // True when the connection works, reconnecting first if it was lost.
    // The first attempt after a loss is made at once, the next ones after
    // a wait that doubles from the first delay up to the longest.
    static constexpr int firstReconnectDelayMs = 25;
    static constexpr int longestReconnectDelayMs = 250;
    bool reconnectIfBroken();
    // How long until reconnectIfBroken() makes its next attempt; 0 when it
    // would make one now or the connection works.
    int reconnectDelayMs() const;
    // Asks a PostgreSQL database whether the connection still works and
    // renews this store's candidate holds, reconnecting when it cannot; to
    // be called every holdRenewalMs.
    bool checkConnection();
    bool isBroken() const { return m_broken; }

    // A hold on a shared database is a row naming this store's run, renewed
    // by checkConnection(), with the candidate's advisory lock on top while
    // the connection lasts. Another server may take the candidate only when
    // the lock is free and the row is older than the lease, counted from the
    // later of its renewal and the database's start: a holder that died lets
    // go within the lease, while a restart of the database, which ends every
    // lock and every renewal, leaves the holders the lease to come back.
    static constexpr int holdRenewalMs = 1000;
    static constexpr int holdLeaseSeconds = 5;
    // Marks the candidate as under examination here for every server on the
    // same database, until unlockCandidate(), close(), or the end of the
    // renewals. Taking one's own hold again is Taken. An SQLite store has
    // no other servers: always Taken.
    Lock lockCandidate(int candidateId);
    void unlockCandidate(int candidateId);

    bool addCourse(const CourseRecord &course);
    bool courses(QList<CourseRecord> *out);
    Lookup course(const QString &code, CourseRecord *out);

    // Assigns an id when candidate->id is 0.
    bool addCandidate(CandidateRecord *candidate);
    // All or nothing: one bad row leaves the database as it was.
    bool addCandidates(QList<CandidateRecord> *candidates);
    Lookup candidate(const QString &courseCode, const QString &number, CandidateRecord *out);
    // forUpdate: within a PostgreSQL transaction, locks the row until it ends.
    Lookup candidateById(int id, CandidateRecord *out, bool forUpdate = false);
    bool candidatesOfCourse(const QString &courseCode, QList<CandidateRecord> *out);
    bool setCandidateState(int id, CandidateState::Value state);

    // Stores a result once (a repeated upload of the same result is reported
    // as Duplicate) and moves the candidate from ready to examined. A new
    // result for a candidate who is not ready, or one whose pass mark is not
    // the one of the candidate's licence class, is Rejected.
    Upload storeResult(const ResultRecord &result);
    // The same for several results in one transaction, which a shared
    // database writes to its disk once: an outcome and, unless Stored or
    // Duplicate, a reason for each, in the order given. A failure of the
    // database fails them all.
    void storeResults(const QList<ResultRecord> &results, QList<Upload> *outcomes, QStringList *reasons);
    Lookup latestResult(int candidateId, const QString &courseCode, ResultRecord *out);
    // Oldest first; an empty course code lists every course.
    bool results(const QString &courseCode, QList<ResultRecord> *out);
    // Oldest first, the results that pass every part of the filter.
    bool resultsMatching(const ResultFilter &filter, QList<ResultRecord> *out);

    // Field checks shared by the commands and the import; false with a reason.
    static bool checkCourse(const CourseRecord &course, QString *why);
    static bool checkCandidate(const CandidateRecord &candidate, QString *why);
    // A stored result must be a whole examination that can be reviewed
    // later: one score, flag time and situation id for each situation,
    // scores adding up to the total, the verdict true to the pass mark.
    static bool checkResult(const ResultRecord &result, QString *why);

signals:
    // The connection was found lost; reconnectIfBroken() will be due.
    void broken();

private:
    // A statement prepared once per connection and used again: a shared
    // database then gets one round trip per use instead of three. Finished
    // when it goes out of scope, so no result set stays open.
    class Statement
    {
    public:
        explicit Statement(QSqlQuery *query) : m_query(query) {}
        ~Statement();
        QSqlQuery *operator->() const { return m_query; }
        QSqlQuery &operator*() const { return *m_query; }

    private:
        QSqlQuery *m_query;
    };
    struct Prepared
    {
        QSharedPointer<QSqlQuery> query;
        bool ok = false;
    };
    Statement statement(const QString &sql);
    // One result within a transaction.
    Upload storeOne(const ResultRecord &result);

    // The situations of one examination.
    static int situationCount();
    QSqlDatabase database() const;
    bool fail(const QString &what, const QSqlQuery &query);
    bool fail(const QString &what);
    // Opens the connection only; false leaves the reason in lastError().
    bool connectTo(const QString &location, bool mustExist);
    bool connectPostgres(const QString &location);
    // Session settings of a fresh PostgreSQL connection.
    bool prepareSession();
    // Whether the failed query's error means the connection is gone.
    bool connectionLost(const QSqlQuery &query) const;
    int storedVersion(bool *ok);
    bool upgrade(int from);
    // Runs a query for at most one row and leaves it on that row when Found.
    Lookup lookUp(QSqlQuery &query, const QString &what);
    // Checks what open() found and readies the connection; false leaves
    // the reason in lastError() and the connection for the caller to close.
    bool setUp(OpenMode mode);
    bool insertCandidate(CandidateRecord *candidate);
    static CandidateRecord candidateFrom(const QSqlQuery &query);
    // The PostgreSQL side of lockCandidate().
    Lock takeHold(int candidateId);
    // The hold's row only.
    Lock takeRow(int candidateId);
    void releaseLock(int candidateId);
    bool renewHolds();
    // The reason to give for a failed statement: while no connection
    // stands, why the last attempt to connect failed.
    QString failureText(const QString &error) const;

    QString m_connection;
    QString m_location;
    QString m_path;
    QString m_lastError;
    bool m_postgres = false;
    bool m_created = false;
    bool m_broken = false;
    QElapsedTimer m_lastAttempt;
    int m_reconnectDelayMs = 0;
    // Why the database cannot be reached, once an attempt to reconnect
    // failed; empty while connected.
    QString m_outageCause;
    // What names this store's holds in the database.
    QString m_runId;
    // The candidates held here; those in m_lockless without the advisory
    // lock, which someone else's connection had when the hold was taken.
    QSet<int> m_locks;
    QSet<int> m_lockless;
    // Whether this run may have rows in the hold table to remove at close().
    bool m_wroteHolds = false;
    QHash<QString, Prepared> m_statements;
    QSharedPointer<QSqlQuery> m_offline;
};
