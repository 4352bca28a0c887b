#include "EnterResponseMessage.h"

EnterResponseMessage::EnterResponseMessage(bool encrypted)
    : BaseMessage(encrypted ? encryptedType : plainType, baseLength)
{
}

int EnterResponseMessage::serialize(char *destination, qint64 size) const
{
    if (!destination || size < payloadSize())
        return -1;
    writeInt32(destination, m_code);
    writeInt32(destination + 4, m_cert);
    writeInt32(destination + 8, m_id);
    writeInt32(destination + 12, m_pid.size());
    writeInt32(destination + 16, m_fullName.size());
    writeInt32(destination + 20, m_image.size());
    char *at = writeText(destination + minimumPayload, m_pid);
    at = writeText(at, m_fullName);
    writeText(at, m_image);
    return 0;
}

int EnterResponseMessage::parse(const char *source, qint64 size)
{
    if (!source || size < minimumPayload)
        return -1;
    QByteArray pid;
    QByteArray fullName;
    QByteArray image;
    if (!readTexts(source, size, minimumPayload,
                   {{readInt32(source + 12), &pid},
                    {readInt32(source + 16), &fullName},
                    {readInt32(source + 20), &image}}))
        return -1;
    m_code = readInt32(source);
    m_cert = readInt32(source + 4);
    m_id = readInt32(source + 8);
    m_pid = pid;
    m_fullName = fullName;
    m_image = image;
    refreshLength();
    return 0;
}

int EnterResponseMessage::parseEncrypted(const char *source, qint64 size, AesCipher &cipher)
{
    return parseEncryptedPayload(source, size, cipher);
}

void EnterResponseMessage::setPid(const char *bytes, int count)
{
    m_pid = copyBytes(bytes, count);
    refreshLength();
}

void EnterResponseMessage::setFullName(const char *bytes, int count)
{
    m_fullName = copyBytes(bytes, count);
    refreshLength();
}

void EnterResponseMessage::setImage(const char *bytes, int count)
{
    m_image = copyBytes(bytes, count);
    refreshLength();
}

void EnterResponseMessage::refreshLength()
{
    updateLength(qint64(m_pid.size()) + m_fullName.size() + m_image.size());
}
