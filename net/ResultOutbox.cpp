#include "ResultOutbox.h"

#include "NetLogging.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray checkOf(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

QByteArray resultLine(const ResultOutbox::Entry &e)
{
    const QByteArray text = "R " + QByteArray::number(e.seq) + ' ' + QByteArray::number(e.totalScore) + ' '
                            + QByteArray::number(e.passScore) + ' ' + QByteArray::number(e.passed) + ' '
                            + QByteArray::number(e.candidateId) + ' ' + e.contestCode.toBase64() + ' '
                            + e.detail.toBase64();
    return text + ' ' + checkOf(text) + '\n';
}

bool decimal(const QByteArray &field, qint64 *value, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 v = field.toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool base64(const QByteArray &field, QByteArray *out)
{
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    *out = decoded.decoded;
    return true;
}

bool parseResult(const QByteArray &line, ResultOutbox::Entry *entry)
{
    const int checkAt = line.lastIndexOf(' ');
    if (checkAt < 0 || checkOf(line.left(checkAt)) != line.mid(checkAt + 1))
        return false;
    const QList<QByteArray> f = line.left(checkAt).split(' ');
    if (f.size() != 8 || f.at(0) != "R")
        return false;
    qint64 seq, total, pass, passed, candidate;
    if (!decimal(f.at(1), &seq, 1, std::numeric_limits<qint64>::max())
        || !decimal(f.at(2), &total, INT32_MIN, INT32_MAX) || !decimal(f.at(3), &pass, INT32_MIN, INT32_MAX)
        || !decimal(f.at(4), &passed, 0, 255) || !decimal(f.at(5), &candidate, INT32_MIN, INT32_MAX)
        || !base64(f.at(6), &entry->contestCode) || !base64(f.at(7), &entry->detail))
        return false;
    entry->seq = seq;
    entry->totalScore = qint32(total);
    entry->passScore = qint32(pass);
    entry->passed = quint8(passed);
    entry->candidateId = qint32(candidate);
    return true;
}

bool syncFolderOf(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

ResultOutbox::ResultOutbox(const QString &path)
    : m_path(path)
{
    load();
}

void ResultOutbox::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcNet).noquote() << "Result outbox cannot be read: " + m_path;
        return;
    }
    const QByteArray content = file.readAll();
    file.close();

    QList<Entry> entries;
    int lineNumber = 0;
    qint64 start = 0;
    while (start < content.size()) {
        const int end = content.indexOf('\n', int(start));
        ++lineNumber;
        if (end < 0) {
            // A write cut short; cut it off, or the next line would be
            // appended to it and be lost with it.
            qCInfo(lcNet).noquote() << QStringLiteral("Result outbox line %1 is incomplete; skipped").arg(lineNumber);
            truncate(start);
            break;
        }
        const QByteArray line = content.mid(int(start), int(end - start));
        start = end + 1;
        Entry entry;
        qint64 seq = 0;
        if (line.startsWith("R ") && parseResult(line, &entry)) {
            entries.append(entry);
            m_nextSeq = qMax(m_nextSeq, entry.seq + 1);
        } else if (line.startsWith("D ") && decimal(line.mid(2), &seq, 1, std::numeric_limits<qint64>::max())) {
            for (int i = 0; i < entries.size(); ++i) {
                if (entries.at(i).seq == seq)
                    entries.removeAt(i--);
            }
        } else {
            qCInfo(lcNet).noquote() << QStringLiteral("Result outbox line %1 is not readable; skipped").arg(lineNumber);
        }
    }
    m_undelivered = entries;
    if (!entries.isEmpty())
        qCInfo(lcNet).noquote() << QStringLiteral("Result outbox: %1 result(s) not yet delivered").arg(entries.size());
}

qint64 ResultOutbox::append(Entry entry, bool *durable)
{
    std::lock_guard<std::mutex> lock(m_lock);
    entry.seq = m_nextSeq++;
    const bool written = writeLine(resultLine(entry));
    if (!written)
        qCWarning(lcNet).noquote() << "Result outbox cannot be written; the result is kept until the program ends: " + m_path;
    if (durable)
        *durable = written;
    m_undelivered.append(entry);
    return entry.seq;
}

void ResultOutbox::markDelivered(qint64 seq)
{
    std::lock_guard<std::mutex> lock(m_lock);
    bool found = false;
    for (int i = 0; i < m_undelivered.size(); ++i) {
        if (m_undelivered.at(i).seq == seq) {
            m_undelivered.removeAt(i);
            found = true;
            break;
        }
    }
    if (!found)
        return;
    if (m_undelivered.isEmpty())
        truncate(0);
    else
        writeLine("D " + QByteArray::number(seq) + '\n');
}

QList<ResultOutbox::Entry> ResultOutbox::undelivered() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_undelivered;
}

int ResultOutbox::undeliveredCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_undelivered.size();
}

bool ResultOutbox::isUndelivered(qint64 seq) const
{
    return entry(seq, nullptr);
}

bool ResultOutbox::entry(qint64 seq, Entry *out) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (const Entry &e : m_undelivered) {
        if (e.seq == seq) {
            if (out)
                *out = e;
            return true;
        }
    }
    return false;
}

bool ResultOutbox::writeLine(const QByteArray &line)
{
    const QByteArray path = QFile::encodeName(m_path);
    const bool created = !QFileInfo::exists(m_path);
    // Candidates' results: readable by the station's account only.
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool synced = done == line.size() && ::fsync(fd) == 0;
    ::close(fd);
    // A new file is only on disk once its folder's entry is.
    return synced && (!created || syncFolderOf(m_path));
}

void ResultOutbox::truncate(qint64 size)
{
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::ftruncate(fd, size) == 0)
        ::fsync(fd);
    ::close(fd);
}
