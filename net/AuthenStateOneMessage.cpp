#include "AuthenStateOneMessage.h"

#include <cstring>

AuthenStateOneMessage::AuthenStateOneMessage()
    : BaseMessage(messageType, headerSize + nonceSize)
    , m_nonce(nonceSize, '\0')
{
}

int AuthenStateOneMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < nonceSize)
        return -1;
    std::memcpy(destination, m_nonce.constData(), nonceSize);
    return 0;
}

int AuthenStateOneMessage::parse(const char *source, qint64 size)
{
    if (!source || size < nonceSize)
        return -1;
    m_nonce = QByteArray(source, nonceSize);
    return 0;
}

void AuthenStateOneMessage::setNonce(const char *bytes, int count)
{
    m_nonce = QByteArray(nonceSize, '\0');
    if (bytes && count > 0)
        std::memcpy(m_nonce.data(), bytes, size_t(qMin(count, nonceSize)));
}
