#include "ReviewMessage.h"

ReviewMessage::ReviewMessage()
    : BaseMessage(messageType, baseLength)
{
}

int ReviewMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < payloadSize())
        return -1;
    writeInt32(destination, m_text.size());
    writeText(destination + minimumPayload, m_text);
    return 0;
}

int ReviewMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    QByteArray text;
    if (!readTexts(source, size, minimumPayload, {{readInt32(source), &text}}))
        return -1;
    m_text = text;
    updateLength(m_text.size());
    return 0;
}

void ReviewMessage::setText(const char *bytes, int count)
{
    m_text = copyBytes(bytes, count);
    updateLength(m_text.size());
}
