#include <QByteArray>
#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

void silentMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

// Handler lines and the file writer's log would only slow the runs down, and
// a pushed file must land in a scratch folder, never in the source tree the
// fuzzer was started from.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    qInstallMessageHandler(silentMessages);
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/hazard-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()) || !QDir::setCurrent(QString::fromLocal8Bit(pattern)))
        std::abort();
    return 0;
}
