#pragma once

#include <QFile>
#include <QRunnable>
#include <QString>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

// The baseline the decryption benchmarks measure against: the fastest plain
// copy of one file the machine has, on the thread pool as a decryption task
// would run. The kernel copies the bytes (copy_file_range, as cp does) and
// nothing is forced to the disk, as the decryption forces nothing either.
class CopyTask : public QRunnable
{
public:
    CopyTask(const QString &from, const QString &to) : m_from(QFile::encodeName(from)), m_to(QFile::encodeName(to)) {}

    void run() override
    {
        const int in = ::open(m_from.constData(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(m_to.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (in >= 0 && out >= 0) {
            ssize_t n;
            while ((n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0)) > 0 || (n < 0 && errno == EINTR)) {
            }
        }
        if (in >= 0)
            ::close(in);
        if (out >= 0)
            ::close(out);
    }

private:
    QByteArray m_from;
    QByteArray m_to;
};
