// Decrypts eleven videos at once on the global thread pool, as the first
// contest of a run does, and compares the time with a plain parallel copy of
// the same files (the kernel's copy_file_range, nothing synced on either
// side), side by side in one run. Two sizes: 30 MiB clips, where the plain
// tail dominates, and 40 KiB clips, deciphered whole, where per-file costs
// dominate. Goals: at most 1.1x the copy for the large clips and 1.5x for
// the small ones, and peak memory growth under 32 MiB whatever the size.
#include "CopyTask.h"
#include "DecryptTask.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int fileCount = 11;

// Peak resident set in KiB, or -1 where /proc is missing.
qint64 peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return -1;
}

bool writePattern(const QString &path, qint64 size, std::uint32_t seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    std::uint32_t x = seed;
    for (qint64 written = 0; written < size; written += chunk.size()) {
        for (int k = 0; k < chunk.size(); ++k) {
            x = x * 1664525u + 1013904223u;
            chunk[k] = char(x >> 24);
        }
        const qint64 n = qMin<qint64>(chunk.size(), size - written);
        if (file.write(chunk.constData(), n) != n)
            return false;
    }
    return true;
}

QString inputPath(const QTemporaryDir &dir, int k) { return dir.filePath(QString("in%1.mp4").arg(k)); }
QString outputPath(const QTemporaryDir &dir, int k) { return dir.filePath(QString("out%1.mp4").arg(k)); }

void removeOutputs(const QTemporaryDir &dir)
{
    for (int k = 0; k < fileCount; ++k)
        QFile::remove(outputPath(dir, k));
}

double timeDecrypt(const QTemporaryDir &dir)
{
    removeOutputs(dir);
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < fileCount; ++k)
        QThreadPool::globalInstance()->start(new DecryptTask(inputPath(dir, k), outputPath(dir, k)));
    QThreadPool::globalInstance()->waitForDone();
    return timer.nsecsElapsed() / 1e6;
}

double timeCopy(const QTemporaryDir &dir)
{
    removeOutputs(dir);
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < fileCount; ++k)
        QThreadPool::globalInstance()->start(new CopyTask(inputPath(dir, k), outputPath(dir, k)));
    QThreadPool::globalInstance()->waitForDone();
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Returns false when the inputs cannot be written.
bool measure(const char *label, qint64 fileSize, int rounds, double goal, bool reportMemory)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    for (int k = 0; k < fileCount; ++k) {
        if (!writePattern(inputPath(dir, k), fileSize, std::uint32_t(k + 1)))
            return false;
    }

    // Memory is measured over the first decryption round alone, before the
    // copies run, so nothing else can have raised the peak.
    const qint64 peakBefore = peakResidentKiB();
    std::vector<double> decrypt{timeDecrypt(dir)};
    const qint64 peakAfter = peakResidentKiB();

    // Alternate the two so page-cache and disk state favour neither; the
    // ratio is taken round by round, side by side, and its median kept.
    std::vector<double> copy, ratios;
    for (int round = 0; round < rounds; ++round) {
        copy.push_back(timeCopy(dir));
        if (round > 0)
            decrypt.push_back(timeDecrypt(dir));
        ratios.push_back(decrypt.back() / copy.back());
    }
    removeOutputs(dir);

    std::printf("%s: %d files x %.0f KiB, %d rounds (medians)\n", label, fileCount, double(fileSize) / 1024.0, rounds);
    std::printf("  decrypt %9.2f ms   copy %9.2f ms   decrypt/copy %.2fx (goal <= %.1fx)\n", median(decrypt),
                median(copy), median(ratios), goal);
    if (reportMemory)
        std::printf("  peak memory growth while decrypting: %.1f MiB (goal < 32 MiB)\n",
                    double(peakAfter - peakBefore) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("pool threads: %d\n", QThreadPool::globalInstance()->maxThreadCount());
    if (!measure("large clips", 30 * 1024 * 1024, 5, 1.1, true) || !measure("small clips", 40 * 1024, 41, 1.5, false)) {
        std::fprintf(stderr, "cannot write the input files\n");
        return 1;
    }
    return 0;
}
