#include "ContestResultMessage.h"

ContestResultMessage::ContestResultMessage(bool encrypted)
    : BaseMessage(encrypted ? encryptedType : plainType, baseLength)
{
}

int ContestResultMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < payloadSize())
        return -1;
    writeInt32(destination, m_totalScore);
    writeInt32(destination + 4, m_passScore);
    destination[8] = char(m_passed);
    writeInt32(destination + 9, m_candidateId);
    writeInt32(destination + 13, m_contestCode.size());
    writeInt32(destination + 17, m_detail.size());
    char *at = writeText(destination + minimumPayload, m_contestCode);
    writeText(at, m_detail);
    return 0;
}

int ContestResultMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    QByteArray code;
    QByteArray detail;
    if (!readTexts(source, size, minimumPayload,
                   {{readInt32(source + 13), &code}, {readInt32(source + 17), &detail}}))
        return -1;
    m_totalScore = readInt32(source);
    m_passScore = readInt32(source + 4);
    m_passed = quint8(source[8]);
    m_candidateId = readInt32(source + 9);
    m_contestCode = code;
    m_detail = detail;
    refreshLength();
    return 0;
}

int ContestResultMessage::parseEncrypted(const char *source, qint64 size, AesCipher &cipher)
{
    return parseEncryptedPayload(source, size, cipher);
}

void ContestResultMessage::setContestCode(const char *bytes, int count)
{
    m_contestCode = copyBytes(bytes, count);
    refreshLength();
}

void ContestResultMessage::setDetail(const char *bytes, int count)
{
    m_detail = copyBytes(bytes, count);
    refreshLength();
}

void ContestResultMessage::refreshLength()
{
    updateLength(qint64(m_contestCode.size()) + m_detail.size());
}
