// The content database's digest check on a 100 MiB file: time taken and how
// much the process's peak memory grows, which must stay small whatever the
// file's size.
#include "SqliteConnection.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr qint64 fileSize = 100LL * 1024 * 1024;
const char salt[] = "5f1b0c9d3e2a7f6b8c4d0e1f2a3b4c5d6e7f8091a2b3c4d5e6f708192";

// VmHWM (peak) or VmRSS (now) from /proc/self/status, in KiB.
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    // Files under /proc report a size of 0, so read to the end in one go
    // rather than asking atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool writeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 7 + (i >> 8));
    for (qint64 written = 0; written < fileSize; written += chunk.size()) {
        chunk[0] = char(written >> 20);
        if (file.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ksm.db"));
    if (!dir.isValid() || !writeFile(path)) {
        out << "cannot write the test file\n";
        return 1;
    }

    const qint64 peakBefore = statusKiB("VmHWM");
    const qint64 rssBefore = statusKiB("VmRSS");
    QElapsedTimer timer;
    timer.start();
    const QString digest = SqliteConnection::saltedDigest(path, QByteArray(salt));
    const qint64 streamedMs = timer.elapsed();
    const qint64 peakAfter = statusKiB("VmHWM");

    // The check as the station runs it: a mismatching digest stops it
    // before the driver is involved.
    SqliteConnection connection;
    connection.setDatabasePath(path);
    connection.setSecrets(QLatin1String(salt), QStringLiteral("00000000000000000000000000000000"),
                          QStringLiteral("00"));
    timer.restart();
    const bool opened = connection.openDatabase();
    const qint64 checkMs = timer.elapsed();
    const qint64 peakAfterCheck = statusKiB("VmHWM");

    // For comparison: the whole file in memory, as a naive check would do.
    timer.restart();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QString whole = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray(salt) + file.readAll(), QCryptographicHash::Md5).toHex());
    const qint64 wholeMs = timer.elapsed();
    const qint64 peakWhole = statusKiB("VmHWM");

    out << "file size:                    " << fileSize / (1024 * 1024) << " MiB\n";
    out << "streamed digest:              " << streamedMs << " ms ("
        << (streamedMs > 0 ? fileSize * 1000 / (1024 * 1024) / streamedMs : 0) << " MiB/s), peak memory growth "
        << (peakAfter - peakBefore) << " KiB (VmRSS before " << rssBefore << " KiB)\n";
    out << "openDatabase digest check:    " << checkMs << " ms, refused as expected: "
        << (opened ? "no" : "yes") << ", peak memory growth " << (peakAfterCheck - peakBefore)
        << " KiB\n";
    out << "whole-file digest (contrast): " << wholeMs << " ms, peak memory growth "
        << (peakWhole - peakBefore) << " KiB\n";
    out << "digests agree:                " << (digest == whole ? "yes" : "NO") << "\n";
    return digest == whole && !opened ? 0 : 1;
}
