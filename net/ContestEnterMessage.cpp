#include "ContestEnterMessage.h"

ContestEnterMessage::ContestEnterMessage(bool encrypted)
    : BaseMessage(encrypted ? encryptedType : plainType, baseLength)
{
}

int ContestEnterMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < payloadSize())
        return -1;
    writeInt32(destination, m_contestCode.size());
    writeInt32(destination + 4, m_candidateNumber.size());
    char *at = writeText(destination + minimumPayload, m_contestCode);
    writeText(at, m_candidateNumber);
    return 0;
}

int ContestEnterMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    QByteArray code;
    QByteArray number;
    if (!readTexts(source, size, minimumPayload,
                   {{readInt32(source), &code}, {readInt32(source + 4), &number}}))
        return -1;
    m_contestCode = code;
    m_candidateNumber = number;
    refreshLength();
    return 0;
}

int ContestEnterMessage::parseEncrypted(const char *source, qint64 size, AesCipher &cipher)
{
    return parseEncryptedPayload(source, size, cipher);
}

void ContestEnterMessage::setContestCode(const char *bytes, int count)
{
    m_contestCode = copyBytes(bytes, count);
    refreshLength();
}

void ContestEnterMessage::setCandidateNumber(const char *bytes, int count)
{
    m_candidateNumber = copyBytes(bytes, count);
    refreshLength();
}

void ContestEnterMessage::refreshLength()
{
    updateLength(qint64(m_contestCode.size()) + m_candidateNumber.size());
}
