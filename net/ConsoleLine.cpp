#include "ConsoleLine.h"

#include <QByteArray>

#include <cstdio>

namespace ConsoleLine {

void write(const QByteArray &text)
{
    // One write call per line keeps lines of different threads apart.
    QByteArray line = text;
    line.append('\n');
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

void write(const char *text)
{
    write(QByteArray(text));
}

} // namespace ConsoleLine
