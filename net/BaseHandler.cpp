#include "BaseHandler.h"

#include "ConsoleLine.h"

BaseHandler::~BaseHandler() = default;

void BaseHandler::writeTypeLine(const char *text, quint8 type)
{
    QByteArray line(text);
    line.append(char(type));
    ConsoleLine::write(line);
}

QString BaseHandler::decodeText(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}
