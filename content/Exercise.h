#pragma once

#include <QObject>
#include <QString>

// One situation video with its danger window; the count-down clip is an
// Exercise with id 0 and no window. Times are milliseconds from the start of
// this video.
class Exercise : public QObject
{
    Q_OBJECT
public:
    explicit Exercise(QObject *parent = nullptr);

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    qint64 duration() const { return m_duration; }
    void setDuration(qint64 duration) { m_duration = duration; }
    qint64 dangerStart() const { return m_dangerStart; }
    void setDangerStart(qint64 start) { m_dangerStart = start; }
    qint64 dangerEnd() const { return m_dangerEnd; }
    void setDangerEnd(qint64 end) { m_dangerEnd = end; }
    QString number() const { return m_number; }
    void setNumber(const QString &number) { m_number = number; }

private:
    int m_id = 0;
    QString m_filePath;
    qint64 m_duration = 0;
    qint64 m_dangerStart = 0;
    qint64 m_dangerEnd = 0;
    QString m_number;
};
