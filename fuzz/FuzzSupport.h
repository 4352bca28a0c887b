#pragma once

#include <QByteArray>
#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// Shared set-up of the fuzz targets. Handler lines and the file writer's log
// would only slow the runs down, and a pushed file must land in a scratch
// folder, never in the source tree the fuzzer was started from.
namespace FuzzSupport {

inline void silentMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

inline void quietScratchProcess()
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    qInstallMessageHandler(silentMessages);
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/hazard-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()) || !QDir::setCurrent(QString::fromLocal8Bit(pattern)))
        std::abort();
}

// The session key every encrypted target uses.
inline QByteArray fixedKey()
{
    return QByteArray::fromHex("7a1c9e04b35f28d6610fe3a94c87b2d5"
                               "0e96f13ab7245dc8893e1f60a5d27c4b");
}

// A broken invariant is a finding: stop like a crash so the input is kept.
inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace FuzzSupport
