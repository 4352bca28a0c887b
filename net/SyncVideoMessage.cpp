#include "SyncVideoMessage.h"

#include <climits>

SyncVideoMessage::SyncVideoMessage()
    : BaseMessage(messageType, headerSize)
{
}

int SyncVideoMessage::serialize(char *destination, qint64 size) const
{
    if (size < payloadSize() || (!destination && payloadSize() > 0))
        return -1;
    writeText(destination, m_data);
    return 0;
}

int SyncVideoMessage::parse(const char *source, qint64 size)
{
    if (!source || size < 1 || size > INT_MAX)
        return -1;
    m_data = QByteArray(source, int(size));
    updateLength(m_data.size());
    return 0;
}

void SyncVideoMessage::setData(const char *bytes, int count)
{
    m_data = copyBytes(bytes, count);
    updateLength(m_data.size());
}
