#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

// The learner's progress: every scored attempt, kept in an SQLite file
// (Qt's QSQLITE driver) in the user's data folder.
//
// Durability: the file runs in WAL mode and every attempt is written in one
// transaction of its own, so a program killed in the middle of an attempt
// leaves every finished attempt and nothing of the unfinished one. A mock
// examination is a row of its own that is marked finished, with its total,
// only once its last situation is stored; unfinished ones never reach the
// totals.
//
// A file that cannot be read as a progress file is never overwritten: it
// is moved aside, with its WAL companions, under a dated name, a new file
// is started and open() says so.
//
// One store per file and per thread (the GUI thread in the program).
class ProgressStore : public QObject
{
    Q_OBJECT
public:
    enum OpenResult {
        Opened,
        // The old file was damaged and lies at setAsidePath() now.
        StartedAfterDamage,
        Failed,
    };
    Q_ENUM(OpenResult)

    struct Attempt
    {
        int situationId = 0;
        int mode = 0;
        // Milliseconds from the start of the situation's clip; 0 is no flag.
        qint64 flagTime = 0;
        int score = 0;
        QDateTime when;
        // The mock examination the attempt belongs to, 0 for none.
        qint64 mockId = 0;
    };

    struct SituationProgress
    {
        int situationId = 0;
        int best = 0;
        double average = 0;
        int attempts = 0;
    };

    // Per chapter: `best` is the mean over the chapter's situations tried of
    // their best scores, `average` the mean of every attempt's score,
    // `mastered` the share of all the chapter's situations whose best is 4 or
    // more (0..1).
    struct ChapterStatistics
    {
        int chapter = 0;
        int situations = 0;
        int tried = 0;
        int attempts = 0;
        double best = 0;
        double average = 0;
        double mastered = 0;
    };

    struct MockTotal
    {
        qint64 id = 0;
        QDateTime when;
        int total = 0;
        int situations = 0;
    };

    static constexpr int masteredScore = 4;

    explicit ProgressStore(QObject *parent = nullptr);
    ~ProgressStore() override;

    // "progress.db" in QStandardPaths::AppDataLocation.
    static QString defaultPath();

    OpenResult open(const QString &path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString setAsidePath() const { return m_setAsidePath; }
    QString errorText() const { return m_error; }
    QString connectionName() const { return m_connection; }

    bool recordAttempt(const Attempt &attempt);
    // 0 when the row cannot be written.
    qint64 beginMock(const QDateTime &when);
    bool finishMock(qint64 mockId);

    QList<Attempt> attempts() const;
    QHash<int, SituationProgress> progressBySituation() const;
    // Situations tried and never scored `masteredScore` or more, weakest
    // first: lowest best score, then lowest average, then most attempts.
    QList<SituationProgress> missedSituations() const;
    // `chapterSituations` lists, per chapter index, the ids it holds.
    QList<ChapterStatistics> chapterStatistics(const QList<QList<int>> &chapterSituations) const;
    // Finished mock examinations, oldest first.
    QList<MockTotal> mockTotals() const;

private:
    bool openConnection();
    bool prepareSchema();
    bool fileLooksDamaged();
    bool setAside();
    void dropConnection();

    QString m_connection;
    QString m_path;
    QString m_setAsidePath;
    mutable QString m_error;
};
