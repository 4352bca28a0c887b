#pragma once

#include "CandidateRecord.h"
#include "CourseRecord.h"
#include "RecordChecks.h"
#include "ResultFilter.h"
#include "ResultRecord.h"
#include "StoreBackend.h"
#include "StoreConnection.h"
#include "StoreSchema.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSqlError;
class CandidateQueries;
class ResultQueries;

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
//
// What differs between the two databases is the StoreBackend's; the tables
// and their upgrades are StoreSchema's, the rules records must meet
// RecordChecks', the candidate and result operations CandidateQueries' and
// ResultQueries'. This class keeps the connection's life: opening, holds,
// and reconnecting.
class ServerStore : public QObject
{
    Q_OBJECT
public:
    enum class OpenMode { CreateIfMissing, MustExist };
    using Lookup = StoreConnection::Lookup;
    enum class Upload { Stored, Duplicate, Rejected, Failed };
    using Lock = StoreBackend::Hold;

    // The schema this program writes; older databases are upgraded when
    // opened, newer ones refused.
    static constexpr int schemaVersion = StoreSchema::version;

    // The largest encrypted entry answer a frame can carry bounds the
    // candidate's texts: identity number, name and photo together.
    static constexpr int maxIdentityBytes = RecordChecks::maxIdentityBytes;

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
    // Where the database is, as the operator is told: an SQLite file by its
    // absolute path.
    QString fullLocation() const { return m_db->backend().fullLocation(m_location); }
    // What names the control socket of this store's server on port, or of
    // the server on location and port; see StoreBackend::controlKey.
    std::optional<ControlKey> controlKey(quint16 port) const { return m_db->backend().controlKey(m_location, port); }
    static std::optional<ControlKey> controlKey(const QString &location, quint16 port);
    // Whether the serving server must call checkConnection() every
    // holdRenewalMs.
    bool needsConnectionChecks() const { return m_db->backend().needsConnectionChecks(); }
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
    static constexpr int holdLeaseSeconds = StoreBackend::holdLeaseSeconds;
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
    // forUpdate: within a transaction, locks the row until it ends where the
    // transaction itself does not (PostgreSQL).
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

    // Field checks shared by the commands and the import; false with a
    // reason. RecordChecks' own.
    static bool checkCourse(const CourseRecord &course, QString *why) { return RecordChecks::checkCourse(course, why); }
    static bool checkCandidate(const CandidateRecord &candidate, QString *why)
    {
        return RecordChecks::checkCandidate(candidate, why);
    }
    static bool checkResult(const ResultRecord &result, QString *why) { return RecordChecks::checkResult(result, why); }

signals:
    // The connection was found lost; reconnectIfBroken() will be due.
    void broken();

private:
    bool fail(const QString &what, const QSqlError &error);
    bool fail(const QString &what);
    // Opens the connection only; false leaves the reason in lastError().
    bool connectTo(const QString &location, bool mustExist);
    // Checks what open() found and readies the connection; false leaves
    // the reason in lastError() and the connection for the caller to close.
    bool setUp(OpenMode mode);
    // The hold's row, then the lock on top.
    Lock takeHold(int candidateId);
    // The hold's row only.
    Lock takeRow(int candidateId);
    bool renewHolds();

    std::unique_ptr<StoreConnection> m_db;
    std::unique_ptr<CandidateQueries> m_candidates;
    std::unique_ptr<ResultQueries> m_results;
    QString m_location;
    QString m_path;
    QString m_lastError;
    bool m_created = false;
    bool m_broken = false;
    QElapsedTimer m_lastAttempt;
    int m_reconnectDelayMs = 0;
    // What names this store's holds in the database.
    QString m_runId;
    // The candidates held here; those in m_lockless without the lock, which
    // someone else's connection had when the hold was taken.
    QSet<int> m_locks;
    QSet<int> m_lockless;
    // Whether this run may have rows in the hold table to remove at close().
    bool m_wroteHolds = false;
};
