#include "MessageFilter.h"

#include "AppLogging.h"

#include <QLatin1String>

#include <atomic>
#include <cstring>

namespace {

// Set while a filter is installed; messages arrive on any thread.
std::atomic<QtMessageHandler> downstream{nullptr};
std::atomic<bool> soundReported{false};

} // namespace

MessageFilter::MessageFilter()
{
    soundReported = false;
    downstream = qInstallMessageHandler(&MessageFilter::handle);
}

MessageFilter::~MessageFilter()
{
    qInstallMessageHandler(downstream.exchange(nullptr));
}

bool MessageFilter::isSoundServerFailure(QtMsgType type, const char *category, const QString &text)
{
    // The GStreamer back end passes the sink's warning on as
    // Warning: "Failed to connect: <reason>" in the default category.
    return type == QtWarningMsg && category && std::strcmp(category, "default") == 0
           && text.startsWith(QLatin1String("Warning: \"Failed to connect: "));
}

void MessageFilter::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QtMessageHandler next = downstream.load();
    if (!next)
        return;
    if (!isSoundServerFailure(type, context.category, text)) {
        next(type, context, text);
        return;
    }
    if (soundReported.exchange(true) || !lcApp().isWarningEnabled())
        return;
    QString reason = text.mid(int(std::strlen("Warning: \"Failed to connect: ")));
    if (reason.endsWith(QLatin1Char('"')))
        reason.chop(1);
    const QMessageLogContext own(context.file, context.line, context.function, lcApp().categoryName());
    next(QtWarningMsg, own,
         QStringLiteral("No sound server answers (%1): the clips' sound goes to another audio device "
                        "if there is one, else nowhere").arg(reason));
}
