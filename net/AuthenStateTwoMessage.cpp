#include "AuthenStateTwoMessage.h"

#include <cstring>

AuthenStateTwoMessage::AuthenStateTwoMessage()
    : BaseMessage(messageType, headerSize + responseSize)
    , m_response(responseSize, '\0')
{
}

int AuthenStateTwoMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < responseSize)
        return -1;
    std::memcpy(destination, m_response.constData(), responseSize);
    return 0;
}

int AuthenStateTwoMessage::parse(const char *source, qint64 size)
{
    if (!source || size < responseSize)
        return -1;
    m_response = QByteArray(source, responseSize);
    return 0;
}

void AuthenStateTwoMessage::setResponse(const char *bytes, int count)
{
    m_response = QByteArray(responseSize, '\0');
    if (bytes && count > 0)
        std::memcpy(m_response.data(), bytes, size_t(qMin(count, responseSize)));
}
