#pragma once

#include "CandidateRecord.h"
#include "CourseRecord.h"
#include "ResultFilter.h"
#include "ResultRecord.h"

#include <QList>
#include <QObject>
#include <QString>

class QSqlDatabase;
class QSqlQuery;

// The server's SQLite database: courses, candidates and results. Every
// operation reports failure by its result and leaves the reason in
// lastError(); nothing is cached, so several processes (the server and the
// operator's commands) can share one file.
class ServerStore : public QObject
{
    Q_OBJECT
public:
    enum class OpenMode { CreateIfMissing, MustExist };
    enum class Lookup { Found, Missing, Failed };
    enum class Upload { Stored, Duplicate, Rejected, Failed };

    // The largest encrypted entry answer a frame can carry bounds the
    // candidate's texts: identity number, name and photo together.
    static constexpr int maxIdentityBytes = 65504 - 24;

    explicit ServerStore(QObject *parent = nullptr);
    ~ServerStore() override;

    bool open(const QString &path, OpenMode mode);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString lastError() const { return m_lastError; }

    bool addCourse(const CourseRecord &course);
    bool courses(QList<CourseRecord> *out);
    Lookup course(const QString &code, CourseRecord *out);

    // Assigns an id when candidate->id is 0.
    bool addCandidate(CandidateRecord *candidate);
    // All or nothing: one bad row leaves the database as it was.
    bool addCandidates(QList<CandidateRecord> *candidates);
    Lookup candidate(const QString &courseCode, const QString &number, CandidateRecord *out);
    Lookup candidateById(int id, CandidateRecord *out);
    bool candidatesOfCourse(const QString &courseCode, QList<CandidateRecord> *out);
    bool setCandidateState(int id, CandidateState::Value state);

    // Stores a result once (a repeated upload of the same result is reported
    // as Duplicate) and moves the candidate from ready to examined. A new
    // result for a candidate who is not ready, or one whose pass mark is not
    // the one of the candidate's licence class, is Rejected.
    Upload storeResult(const ResultRecord &result);
    Lookup latestResult(int candidateId, const QString &courseCode, ResultRecord *out);
    // Oldest first; an empty course code lists every course.
    bool results(const QString &courseCode, QList<ResultRecord> *out);

    // Field checks shared by the commands and the import; false with a reason.
    static bool checkCourse(const CourseRecord &course, QString *why);
    static bool checkCandidate(const CandidateRecord &candidate, QString *why);
    // A stored result must be a whole examination that can be reviewed
    // later: one score, flag time and situation id for each situation,
    // scores adding up to the total, the verdict true to the pass mark.
    static bool checkResult(const ResultRecord &result, QString *why);

private:
    // The situations of one examination.
    static int situationCount();
    QSqlDatabase database() const;
    bool fail(const QString &what, const QSqlQuery &query);
    bool fail(const QString &what);
    // Runs a query for at most one row and leaves it on that row when Found.
    Lookup lookUp(QSqlQuery &query, const QString &what);
    // Checks what open() found and readies the connection; false leaves
    // the reason in lastError() and the connection for the caller to close.
    bool setUp(const QString &path, OpenMode mode);
    bool createSchema();
    bool insertCandidate(CandidateRecord *candidate);
    static CandidateRecord candidateFrom(const QSqlQuery &query);

    QString m_connection;
    QString m_path;
    QString m_lastError;

public:
    // Oldest first, the results that pass every part of the filter.
    bool resultsMatching(const ResultFilter &filter, QList<ResultRecord> *out);
};
