#pragma once

#include <QByteArray>
#include <QString>

class BaseMessage;

// Acts on one received message. A handler keeps nothing between messages.
class BaseHandler
{
public:
    virtual ~BaseHandler();
    virtual void process(BaseMessage &message) = 0;

protected:
    // Writes "<text><type as a character>" as one line to standard output.
    static void writeTypeLine(const char *text, quint8 type);
};
