#include "StartSyncVideoMessage.h"

#include <climits>

StartSyncVideoMessage::StartSyncVideoMessage()
    : BaseMessage(messageType, headerSize)
{
}

int StartSyncVideoMessage::serialize(char *destination, qint64 size) const
{
    if (size < payloadSize() || (!destination && payloadSize() > 0))
        return -1;
    writeText(destination, m_fileName);
    return 0;
}

int StartSyncVideoMessage::parse(const char *source, qint64 size)
{
    if (!source || size < 1 || size > INT_MAX)
        return -1;
    m_fileName = QByteArray(source, int(size));
    updateLength(m_fileName.size());
    return 0;
}

void StartSyncVideoMessage::setFileName(const char *bytes, int count)
{
    m_fileName = copyBytes(bytes, count);
    updateLength(m_fileName.size());
}
