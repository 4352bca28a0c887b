#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>

// The examination results of this station that the server has not yet been
// seen to take, kept on disk so that none is lost with the link, a crash or
// a power cut.
//
// The file is a log of text lines, each ended by "\n", fields separated by
// one space:
//
//   R <seq> <total> <passScore> <passed> <candidateId> <code> <detail> <check>
//   D <seq>
//
// "R" records a result: its sequence number, the four numbers of the upload
// in decimal, the course code and the detail text as Base64 of the bytes
// that are sent, and the MD5 (hexadecimal) of everything before the space
// that precedes it. "D" marks the result with that sequence number as
// delivered. A result is written and forced to disk before it is sent. When
// no result is left undelivered the file is emptied. A line that does not
// read as one of the two forms, such as the torn last line of a write cut
// short, is skipped with a log line.
//
// All operations may be called from any thread.
class ResultOutbox
{
public:
    struct Entry
    {
        qint64 seq = 0;
        qint32 totalScore = 0;
        qint32 passScore = 0;
        quint8 passed = 0;
        qint32 candidateId = 0;
        QByteArray contestCode;
        QByteArray detail;
    };

    // The name of the file in the station's working folder.
    static constexpr char fileName[] = "result-outbox.log";

    // Reads what an earlier run left undelivered.
    explicit ResultOutbox(const QString &path);

    QString path() const { return m_path; }

    // Keeps the result and gives its sequence number. *durable tells
    // whether it reached the disk; when it did not (full disk, no write
    // permission) it is kept for this run only.
    qint64 append(Entry entry, bool *durable = nullptr);
    // Unknown or already delivered numbers are ignored.
    void markDelivered(qint64 seq);

    // In the order they were appended.
    QList<Entry> undelivered() const;
    int undeliveredCount() const;
    bool isUndelivered(qint64 seq) const;
    bool entry(qint64 seq, Entry *out) const;

private:
    void load();
    bool writeLine(const QByteArray &line);
    void truncate(qint64 size);

    const QString m_path;
    mutable std::mutex m_lock;
    QList<Entry> m_undelivered;
    qint64 m_nextSeq = 1;
};
