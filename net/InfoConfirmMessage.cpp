#include "InfoConfirmMessage.h"

InfoConfirmMessage::InfoConfirmMessage(bool encrypted)
    : BaseMessage(encrypted ? encryptedType : plainType, baseLength)
{
}

int InfoConfirmMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < minimumPayload)
        return -1;
    destination[0] = char(m_marker);
    writeInt32(destination + 1, m_candidateId);
    destination[5] = char(m_confirmed);
    return 0;
}

int InfoConfirmMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    m_marker = quint8(source[0]);
    m_candidateId = readInt32(source + 1);
    m_confirmed = quint8(source[5]);
    return 0;
}

int InfoConfirmMessage::parseEncrypted(const char *source, qint64 size, AesCipher &cipher)
{
    return parseEncryptedPayload(source, size, cipher);
}
