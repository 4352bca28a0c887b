#include "BaseHandler.h"

#include "ConsoleLine.h"

BaseHandler::~BaseHandler() = default;

void BaseHandler::writeTypeLine(const char *text, quint8 type)
{
    QByteArray line(text);
    line.append(char(type));
    ConsoleLine::write(line);
}
