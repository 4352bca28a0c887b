#pragma once

#include <QFile>
#include <QRunnable>
#include <QString>

// The baseline the decryption benchmarks measure against: a plain copy of
// one file on the thread pool, as a decryption task would run.
class CopyTask : public QRunnable
{
public:
    CopyTask(const QString &from, const QString &to) : m_from(from), m_to(to) {}
    void run() override { QFile::copy(m_from, m_to); }

private:
    QString m_from;
    QString m_to;
};
