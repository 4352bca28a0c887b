#include "ContestNameMessage.h"

ContestNameMessage::ContestNameMessage()
    : BaseMessage(messageType, baseLength)
{
}

int ContestNameMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < payloadSize())
        return -1;
    destination[0] = char(m_isResponse);
    writeInt32(destination + 1, m_contestCode.size());
    writeInt32(destination + 5, m_contestName.size());
    char *at = writeText(destination + minimumPayload, m_contestCode);
    writeText(at, m_contestName);
    return 0;
}

int ContestNameMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    QByteArray code;
    QByteArray name;
    if (!readTexts(source, size, minimumPayload,
                   {{readInt32(source + 1), &code}, {readInt32(source + 5), &name}}))
        return -1;
    m_isResponse = quint8(source[0]);
    m_contestCode = code;
    m_contestName = name;
    refreshLength();
    return 0;
}

void ContestNameMessage::setContestCode(const char *bytes, int count)
{
    m_contestCode = copyBytes(bytes, count);
    refreshLength();
}

void ContestNameMessage::setContestName(const char *bytes, int count)
{
    m_contestName = copyBytes(bytes, count);
    refreshLength();
}

void ContestNameMessage::refreshLength()
{
    updateLength(qint64(m_contestCode.size()) + m_contestName.size());
}
