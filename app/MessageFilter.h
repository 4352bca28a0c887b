#pragma once

#include <QString>
#include <QtGlobal>

// Sits in front of the message handler for the lifetime of the object. The
// multimedia backend warns that it cannot connect to the sound server once for
// every clip it opens; on a machine without one (audio then goes to a discard
// sink) that is the same line twenty times an examination. The first such
// warning is replaced by one line that says what it means; the repeats are
// dropped. Every other message passes unchanged.
class MessageFilter
{
public:
    MessageFilter();
    ~MessageFilter();

    MessageFilter(const MessageFilter &) = delete;
    MessageFilter &operator=(const MessageFilter &) = delete;

    // Whether the text is the backend's complaint that no sound server answers.
    static bool isSoundServerFailure(QtMsgType type, const char *category, const QString &text);

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);
};
