#include "ServerStore.h"

#include "Constants.h"
#include "ResultDetail.h"
#include "StoreTransaction.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int schemaVersion = 1;

QAtomicInt connectionCounter;

// candidateFrom() reads the columns in this order.
const char candidateColumns[] = "SELECT id, number, course_code, licence_class, pid, full_name, photo, state "
                                "FROM candidate ";

// The values that make a result unique, in the order the queries name them.
void bindResultKey(QSqlQuery &query, const ResultRecord &r)
{
    query.addBindValue(r.candidateId);
    query.addBindValue(r.courseCode);
    query.addBindValue(r.total);
    query.addBindValue(r.passScore);
    query.addBindValue(r.passed ? 1 : 0);
    query.addBindValue(r.detail);
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

ServerStore::ServerStore(QObject *parent)
    : QObject(parent)
    , m_connection(QStringLiteral("hazard-server-store-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

ServerStore::~ServerStore()
{
    close();
}

QSqlDatabase ServerStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool ServerStore::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen();
}

bool ServerStore::fail(const QString &what, const QSqlQuery &query)
{
    m_lastError = what + QStringLiteral(": ") + query.lastError().text();
    return false;
}

bool ServerStore::fail(const QString &what)
{
    m_lastError = what;
    return false;
}

bool ServerStore::open(const QString &path, OpenMode mode)
{
    close();
    const QFileInfo info(path);
    const bool existed = info.exists();
    if (mode == OpenMode::MustExist && !existed)
        return fail(QStringLiteral("no database at %1 (create one with: hazard-server init --db %1)").arg(path));
    if (existed && !info.isFile())
        return fail(QStringLiteral("%1 is not a file").arg(path));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        // The operator's commands write while the server serves; let a writer
        // wait for the other instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            m_lastError = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return false;
        }
    }
    m_path = path;
    // Identity numbers, photos and results are personal data: a new database
    // is for its owner only (SQLite gives its journal files the same mode).
    if (!existed)
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    if (!setUp(path, mode)) {
        close();
        return false;
    }
    return true;
}

bool ServerStore::setUp(const QString &path, OpenMode mode)
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(QStringLiteral("%1 is not an SQLite database").arg(path), query);
    const int version = query.value(0).toInt();
    query.finish();
    if (version == 0) {
        if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
            return fail(QStringLiteral("%1 is not an SQLite database").arg(path), query);
        const int objects = query.value(0).toInt();
        query.finish();
        if (objects != 0)
            return fail(QStringLiteral("%1 holds another kind of database").arg(path));
        if (mode == OpenMode::MustExist)
            return fail(QStringLiteral("%1 is empty (create the tables with: hazard-server init --db %1)").arg(path));
    } else if (version != schemaVersion) {
        return fail(QStringLiteral("%1 has schema version %2, this program knows %3").arg(path).arg(version).arg(schemaVersion));
    }

    // WAL lets the server read while a command writes, and the reverse.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next()
        || query.value(0).toString().toLower() != QLatin1String("wal")) {
        return fail(QStringLiteral("cannot switch %1 to WAL journal").arg(path), query);
    }
    query.finish();
    if (!query.exec(QStringLiteral("PRAGMA foreign_keys=ON")))
        return fail(QStringLiteral("cannot enable foreign keys"), query);
    return version != 0 || createSchema();
}

bool ServerStore::createSchema()
{
    StoreTransaction transaction(database());
    if (!transaction.isActive())
        return fail(transaction.error());
    const QStringList statements = {
        QStringLiteral("CREATE TABLE course ("
                       " code TEXT PRIMARY KEY NOT NULL,"
                       " name TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE candidate ("
                       " id INTEGER PRIMARY KEY,"
                       " number TEXT NOT NULL,"
                       " course_code TEXT NOT NULL REFERENCES course(code),"
                       " licence_class INTEGER NOT NULL CHECK (licence_class BETWEEN 0 AND 9),"
                       " pid TEXT NOT NULL,"
                       " full_name TEXT NOT NULL,"
                       " photo TEXT NOT NULL DEFAULT '',"
                       " state TEXT NOT NULL CHECK (state IN ('ready','examined','theory-not-passed','not-required')),"
                       " UNIQUE (course_code, number))"),
        QStringLiteral("CREATE TABLE result ("
                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " candidate_id INTEGER NOT NULL REFERENCES candidate(id),"
                       " course_code TEXT NOT NULL,"
                       " total INTEGER NOT NULL,"
                       " pass_score INTEGER NOT NULL,"
                       " passed INTEGER NOT NULL,"
                       " detail TEXT NOT NULL,"
                       " received_at TEXT NOT NULL,"
                       " station TEXT NOT NULL DEFAULT '',"
                       " UNIQUE (candidate_id, course_code, total, pass_score, passed, detail))"),
        QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion),
    };
    QSqlQuery query(database());
    for (const QString &sql : statements) {
        if (!query.exec(sql))
            return fail(QStringLiteral("cannot create the tables"), query);
    }
    if (!transaction.commit())
        return fail(QStringLiteral("cannot create the tables: ") + transaction.error());
    return true;
}

void ServerStore::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_path.clear();
}

bool ServerStore::checkCourse(const CourseRecord &course, QString *why)
{
    const QString code = course.code.trimmed();
    if (code.isEmpty()) {
        *why = QStringLiteral("the course code is empty");
        return false;
    }
    if (course.name.trimmed().isEmpty()) {
        *why = QStringLiteral("the course name is empty");
        return false;
    }
    // Stations receive the codes and names as ";"-joined lists.
    if (course.code.contains(QLatin1Char(';')) || course.name.contains(QLatin1Char(';'))) {
        *why = QStringLiteral("course codes and names cannot contain ';'");
        return false;
    }
    if (hasControlCharacters(course.code) || hasControlCharacters(course.name)) {
        *why = QStringLiteral("course codes and names cannot contain control characters");
        return false;
    }
    return true;
}

bool ServerStore::checkCandidate(const CandidateRecord &c, QString *why)
{
    if (c.id < 0) {
        *why = QStringLiteral("the id must be a positive number");
        return false;
    }
    if (c.number.trimmed().isEmpty()) {
        *why = QStringLiteral("the candidate number is empty");
        return false;
    }
    if (c.number.trimmed() != c.number || hasControlCharacters(c.number)) {
        *why = QStringLiteral("the candidate number has surrounding blanks or control characters");
        return false;
    }
    if (c.courseCode.trimmed().isEmpty()) {
        *why = QStringLiteral("the course code is empty");
        return false;
    }
    if (c.licenceClass < 0 || c.licenceClass >= Constants::licenceClassCount) {
        *why = QStringLiteral("the licence class must be 0..%1 (%2)")
                   .arg(Constants::licenceClassCount - 1)
                   .arg(Constants::licenceClasses().join(QStringLiteral(", ")));
        return false;
    }
    if (c.fullName.trimmed().isEmpty()) {
        *why = QStringLiteral("the full name is empty");
        return false;
    }
    if (c.pid.trimmed().isEmpty()) {
        *why = QStringLiteral("the identity number is empty");
        return false;
    }
    if (!c.photoBase64.isEmpty()) {
        const QByteArray bytes = c.photoBase64.toLatin1();
        if (QByteArray::fromBase64(bytes, QByteArray::AbortOnBase64DecodingErrors).isEmpty()
            || QString::fromLatin1(bytes) != c.photoBase64) {
            *why = QStringLiteral("the photo is not Base64 text");
            return false;
        }
    }
    const int identityBytes = c.pid.toUtf8().size() + c.fullName.toUtf8().size() + c.photoBase64.toUtf8().size();
    if (identityBytes > maxIdentityBytes) {
        *why = QStringLiteral("identity number, name and photo take %1 bytes; one answer carries at most %2 "
                              "(a photo file of about %3 KiB)")
                   .arg(identityBytes)
                   .arg(maxIdentityBytes)
                   .arg(maxIdentityBytes * 3 / 4 / 1024);
        return false;
    }
    return true;
}

int ServerStore::situationCount()
{
    int count = 0;
    for (const int n : Constants::contestStructure())
        count += n;
    return count;
}

bool ServerStore::checkResult(const ResultRecord &r, QString *why)
{
    ResultDetail detail;
    if (!ResultDetail::parse(r.detail, &detail, why) || !detail.isComplete(situationCount(), why))
        return false;
    if (detail.total() != r.total) {
        *why = QStringLiteral("the scores add up to %1, the total says %2").arg(detail.total()).arg(r.total);
        return false;
    }
    if (r.passed != (r.total >= r.passScore)) {
        *why = QStringLiteral("passed=%1 contradicts total %2 against pass mark %3")
                   .arg(int(r.passed))
                   .arg(r.total)
                   .arg(r.passScore);
        return false;
    }
    return true;
}

bool ServerStore::addCourse(const CourseRecord &course)
{
    QString why;
    if (!checkCourse(course, &why))
        return fail(why);
    QSqlQuery query(database());
    query.prepare(QStringLiteral("INSERT INTO course (code, name) VALUES (?, ?)"));
    query.addBindValue(course.code.trimmed());
    query.addBindValue(course.name.trimmed());
    if (!query.exec())
        return fail(QStringLiteral("cannot add course %1").arg(course.code), query);
    return true;
}

bool ServerStore::courses(QList<CourseRecord> *out)
{
    out->clear();
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT code, name FROM course ORDER BY rowid")))
        return fail(QStringLiteral("cannot read courses"), query);
    while (query.next())
        out->append({query.value(0).toString(), query.value(1).toString()});
    return true;
}

ServerStore::Lookup ServerStore::lookUp(QSqlQuery &query, const QString &what)
{
    if (!query.exec()) {
        fail(what, query);
        return Lookup::Failed;
    }
    return query.next() ? Lookup::Found : Lookup::Missing;
}

ServerStore::Lookup ServerStore::course(const QString &code, CourseRecord *out)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT code, name FROM course WHERE code = ?"));
    query.addBindValue(code);
    const Lookup found = lookUp(query, QStringLiteral("cannot read course %1").arg(code));
    if (found == Lookup::Found)
        *out = {query.value(0).toString(), query.value(1).toString()};
    return found;
}

bool ServerStore::insertCandidate(CandidateRecord *c)
{
    QString why;
    if (!checkCandidate(*c, &why))
        return fail(QStringLiteral("candidate %1: %2").arg(c->number, why));
    CourseRecord course;
    switch (this->course(c->courseCode, &course)) {
    case Lookup::Failed:
        return false;
    case Lookup::Missing:
        return fail(QStringLiteral("candidate %1: no course %2").arg(c->number, c->courseCode));
    case Lookup::Found:
        break;
    }
    CandidateRecord existing;
    switch (candidate(c->courseCode, c->number, &existing)) {
    case Lookup::Failed:
        return false;
    case Lookup::Found:
        return fail(QStringLiteral("candidate %1 is already registered for course %2").arg(c->number, c->courseCode));
    case Lookup::Missing:
        break;
    }
    if (c->id > 0) {
        switch (candidateById(c->id, &existing)) {
        case Lookup::Failed:
            return false;
        case Lookup::Found:
            return fail(QStringLiteral("candidate %1: id %2 is taken").arg(c->number).arg(c->id));
        case Lookup::Missing:
            break;
        }
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("INSERT INTO candidate (id, number, course_code, licence_class, pid, full_name, "
                                 "photo, state) VALUES (?, ?, ?, ?, ?, ?, COALESCE(?, ''), ?)"));
    query.addBindValue(c->id > 0 ? QVariant(c->id) : QVariant());
    query.addBindValue(c->number);
    query.addBindValue(c->courseCode);
    query.addBindValue(c->licenceClass);
    query.addBindValue(c->pid);
    query.addBindValue(c->fullName);
    query.addBindValue(c->photoBase64);
    query.addBindValue(CandidateState::name(c->state));
    if (!query.exec())
        return fail(QStringLiteral("cannot add candidate %1").arg(c->number), query);
    const qint64 id = query.lastInsertId().toLongLong();
    // Stations carry the id in a signed 32-bit field.
    if (id <= 0 || id > 0x7fffffff)
        return fail(QStringLiteral("candidate %1: id %2 does not fit the wire format").arg(c->number).arg(id));
    c->id = int(id);
    return true;
}

bool ServerStore::addCandidate(CandidateRecord *candidate)
{
    QList<CandidateRecord> one{*candidate};
    if (!addCandidates(&one))
        return false;
    *candidate = one.first();
    return true;
}

bool ServerStore::addCandidates(QList<CandidateRecord> *candidates)
{
    StoreTransaction transaction(database());
    if (!transaction.isActive())
        return fail(transaction.error());
    for (CandidateRecord &c : *candidates) {
        if (!insertCandidate(&c))
            return false;
    }
    if (!transaction.commit())
        return fail(QStringLiteral("cannot store the candidates: ") + transaction.error());
    return true;
}

CandidateRecord ServerStore::candidateFrom(const QSqlQuery &query)
{
    CandidateRecord c;
    c.id = query.value(0).toInt();
    c.number = query.value(1).toString();
    c.courseCode = query.value(2).toString();
    c.licenceClass = query.value(3).toInt();
    c.pid = query.value(4).toString();
    c.fullName = query.value(5).toString();
    c.photoBase64 = query.value(6).toString();
    CandidateState::fromName(query.value(7).toString(), &c.state);
    return c;
}

ServerStore::Lookup ServerStore::candidate(const QString &courseCode, const QString &number, CandidateRecord *out)
{
    QSqlQuery query(database());
    query.prepare(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? AND number = ?"));
    query.addBindValue(courseCode);
    query.addBindValue(number);
    const Lookup found = lookUp(query, QStringLiteral("cannot read candidate %1").arg(number));
    if (found == Lookup::Found)
        *out = candidateFrom(query);
    return found;
}

ServerStore::Lookup ServerStore::candidateById(int id, CandidateRecord *out)
{
    QSqlQuery query(database());
    query.prepare(QLatin1String(candidateColumns) + QStringLiteral("WHERE id = ?"));
    query.addBindValue(id);
    const Lookup found = lookUp(query, QStringLiteral("cannot read candidate id %1").arg(id));
    if (found == Lookup::Found)
        *out = candidateFrom(query);
    return found;
}

bool ServerStore::candidatesOfCourse(const QString &courseCode, QList<CandidateRecord> *out)
{
    out->clear();
    QSqlQuery query(database());
    query.prepare(QLatin1String(candidateColumns) + QStringLiteral("WHERE course_code = ? ORDER BY number"));
    query.addBindValue(courseCode);
    if (!query.exec())
        return fail(QStringLiteral("cannot read the candidates of %1").arg(courseCode), query);
    while (query.next())
        out->append(candidateFrom(query));
    return true;
}

bool ServerStore::setCandidateState(int id, CandidateState::Value state)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE candidate SET state = ? WHERE id = ?"));
    query.addBindValue(CandidateState::name(state));
    query.addBindValue(id);
    if (!query.exec())
        return fail(QStringLiteral("cannot change candidate id %1").arg(id), query);
    if (query.numRowsAffected() != 1)
        return fail(QStringLiteral("no candidate with id %1").arg(id));
    return true;
}

ServerStore::Upload ServerStore::storeResult(const ResultRecord &r)
{
    QString why;
    if (!checkResult(r, &why)) {
        fail(why);
        return Upload::Rejected;
    }
    // What is read here stays true until the commit: the transaction holds
    // the write lock from its start.
    StoreTransaction transaction(database());
    if (!transaction.isActive()) {
        fail(transaction.error());
        return Upload::Failed;
    }
    CandidateRecord candidate;
    switch (candidateById(r.candidateId, &candidate)) {
    case Lookup::Failed:
        return Upload::Failed;
    case Lookup::Missing:
        fail(QStringLiteral("no candidate with id %1").arg(r.candidateId));
        return Upload::Rejected;
    case Lookup::Found:
        break;
    }
    if (candidate.courseCode != r.courseCode) {
        fail(QStringLiteral("candidate id %1 belongs to course %2, not %3")
                 .arg(r.candidateId)
                 .arg(candidate.courseCode, r.courseCode));
        return Upload::Rejected;
    }
    const int passMark = Constants::passScores().value(candidate.licenceClass, -1);
    if (r.passScore != passMark) {
        fail(QStringLiteral("pass mark %1 is not the pass mark %2 of licence class %3")
                 .arg(r.passScore)
                 .arg(passMark)
                 .arg(Constants::licenceClasses().value(candidate.licenceClass)));
        return Upload::Rejected;
    }

    // A station repeats an upload it could not confirm: the same result, by
    // its key, is stored already.
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT 1 FROM result WHERE candidate_id = ? AND course_code = ? AND total = ? "
                                 "AND pass_score = ? AND passed = ? AND detail = ?"));
    bindResultKey(query, r);
    switch (lookUp(query, QStringLiteral("cannot read results"))) {
    case Lookup::Failed:
        return Upload::Failed;
    case Lookup::Found:
        return Upload::Duplicate;
    case Lookup::Missing:
        break;
    }
    query.finish();
    // Only an admitted candidate produces a new result.
    if (candidate.state != CandidateState::Ready) {
        fail(QStringLiteral("candidate id %1 is %2, not ready for an examination")
                 .arg(r.candidateId)
                 .arg(CandidateState::name(candidate.state)));
        return Upload::Rejected;
    }
    query.prepare(QStringLiteral("INSERT INTO result (candidate_id, course_code, total, pass_score, passed, detail, "
                                 "received_at, station) VALUES (?, ?, ?, ?, ?, ?, ?, COALESCE(?, ''))"));
    bindResultKey(query, r);
    const QDateTime at = r.receivedAt.isValid() ? r.receivedAt : QDateTime::currentDateTimeUtc();
    query.addBindValue(at.toUTC().toString(Qt::ISODateWithMs));
    query.addBindValue(r.station);
    if (!query.exec()) {
        fail(QStringLiteral("cannot store the result"), query);
        return Upload::Failed;
    }
    query.prepare(QStringLiteral("UPDATE candidate SET state = 'examined' WHERE id = ?"));
    query.addBindValue(r.candidateId);
    if (!query.exec()) {
        fail(QStringLiteral("cannot update the candidate's state"), query);
        return Upload::Failed;
    }
    if (!transaction.commit()) {
        fail(QStringLiteral("cannot store the result: ") + transaction.error());
        return Upload::Failed;
    }
    return Upload::Stored;
}

namespace {

const char resultColumns[] = "r.id, r.candidate_id, r.course_code, r.total, r.pass_score, r.passed, r.detail, "
                             "r.received_at, r.station, c.number, c.full_name, c.pid, c.licence_class "
                             "FROM result r JOIN candidate c ON c.id = r.candidate_id ";

ResultRecord resultFrom(const QSqlQuery &query)
{
    ResultRecord r;
    r.id = query.value(0).toLongLong();
    r.candidateId = query.value(1).toInt();
    r.courseCode = query.value(2).toString();
    r.total = query.value(3).toInt();
    r.passScore = query.value(4).toInt();
    r.passed = query.value(5).toInt() != 0;
    r.detail = query.value(6).toString();
    r.receivedAt = QDateTime::fromString(query.value(7).toString(), Qt::ISODateWithMs);
    r.station = query.value(8).toString();
    r.candidateNumber = query.value(9).toString();
    r.candidateName = query.value(10).toString();
    r.candidatePid = query.value(11).toString();
    r.licenceClass = query.value(12).toInt();
    return r;
}

} // namespace

ServerStore::Lookup ServerStore::latestResult(int candidateId, const QString &courseCode, ResultRecord *out)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT ") + QLatin1String(resultColumns)
                  + QStringLiteral("WHERE r.candidate_id = ? AND r.course_code = ? ORDER BY r.id DESC LIMIT 1"));
    query.addBindValue(candidateId);
    query.addBindValue(courseCode);
    const Lookup found = lookUp(query, QStringLiteral("cannot read results"));
    if (found == Lookup::Found)
        *out = resultFrom(query);
    return found;
}

bool ServerStore::results(const QString &courseCode, QList<ResultRecord> *out)
{
    out->clear();
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT ") + QLatin1String(resultColumns)
                  + QStringLiteral("WHERE COALESCE(?, '') = '' OR r.course_code = ? ORDER BY r.id"));
    query.addBindValue(courseCode);
    query.addBindValue(courseCode);
    if (!query.exec())
        return fail(QStringLiteral("cannot read results"), query);
    while (query.next())
        out->append(resultFrom(query));
    return true;
}

bool ServerStore::resultsMatching(const ResultFilter &filter, QList<ResultRecord> *out)
{
    out->clear();
    // received_at is UTC in one fixed ISO form, so comparing the text orders
    // the instants, in SQLite and PostgreSQL alike.
    auto stamp = [](const QDateTime &at) { return at.toUTC().toString(Qt::ISODateWithMs); };
    QStringList conditions;
    QVariantList values;
    if (!filter.courseCode.isEmpty()) {
        conditions << QStringLiteral("r.course_code = ?");
        values << filter.courseCode;
    }
    if (filter.candidateId != 0) {
        conditions << QStringLiteral("r.candidate_id = ?");
        values << filter.candidateId;
    }
    if (filter.from.isValid()) {
        conditions << QStringLiteral("r.received_at >= ?");
        values << stamp(filter.from);
    }
    if (filter.until.isValid()) {
        conditions << QStringLiteral("r.received_at < ?");
        values << stamp(filter.until);
    }
    QSqlQuery query(database());
    const QString where = conditions.isEmpty() ? QString()
                                               : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    query.prepare(QStringLiteral("SELECT ") + QLatin1String(resultColumns) + where + QStringLiteral(" ORDER BY r.id"));
    for (const QVariant &value : qAsConst(values))
        query.addBindValue(value);
    if (!query.exec())
        return fail(QStringLiteral("cannot read results"), query);
    while (query.next())
        out->append(resultFrom(query));
    return true;
}
