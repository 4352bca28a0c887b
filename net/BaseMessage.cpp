#include "BaseMessage.h"

#include "AesCipher.h"

#include <QtEndian>

#include <climits>
#include <cstring>

BaseMessage::BaseMessage(quint8 type, qint64 baseLength)
    : m_type(type)
    , m_baseLength(baseLength)
    , m_frameLength(baseLength)
{
}

BaseMessage::~BaseMessage() = default;

QString BaseMessage::decodeText(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

int BaseMessage::parseEncrypted(const char *, qint64, AesCipher &)
{
    return 0;
}

QByteArray BaseMessage::payload() const
{
    const qint64 size = payloadSize();
    if (size < 0 || size > INT_MAX)
        return QByteArray();
    QByteArray bytes(int(size), '\0');
    if (serialize(bytes.data(), size) < 0)
        return QByteArray();
    return bytes;
}

int BaseMessage::parseEncryptedPayload(const char *source, qint64 size, AesCipher &cipher)
{
    constexpr qint64 prefix = 1 + AesCipher::blockSize;
    if (!source || size < prefix)
        return -1;
    const qint64 cipherBytes = size - prefix;
    if (cipherBytes <= 0 || cipherBytes % AesCipher::blockSize != 0 || cipherBytes > INT_MAX)
        return -1;
    const int pad = quint8(source[0]);
    if (cipherBytes - pad < 0)
        return -1;
    const QByteArray iv(source + 1, AesCipher::blockSize);
    QByteArray plain(source + prefix, int(cipherBytes));
    if (!cipher.decrypt(iv, plain.data(), plain.size()))
        return -1;
    const qint64 plainBytes = cipherBytes - pad;
    if (parse(plain.constData(), plainBytes) < 0)
        return -1;
    setType(plainTypeOf(type()));
    m_frameLength = plainBytes + headerSize;
    return 0;
}

qint32 BaseMessage::readInt32(const char *source)
{
    return qFromBigEndian<qint32>(source);
}

void BaseMessage::writeInt32(char *destination, qint32 value)
{
    qToBigEndian<qint32>(value, destination);
}

QByteArray BaseMessage::copyBytes(const char *bytes, int count)
{
    if (!bytes || count <= 0)
        return QByteArray();
    return QByteArray(bytes, count);
}

bool BaseMessage::readTexts(const char *source, qint64 size, qint64 offset,
                            std::initializer_list<std::pair<qint32, QByteArray *>> fields)
{
    // 64-bit sums of at most a few 31-bit lengths cannot overflow.
    qint64 end = offset;
    for (const auto &field : fields)
        end += textLength(field.first);
    if (end > size)
        return false;
    qint64 at = offset;
    for (const auto &field : fields) {
        const qint64 count = textLength(field.first);
        *field.second = count > 0 ? QByteArray(source + at, int(count)) : QByteArray();
        at += count;
    }
    return true;
}

char *BaseMessage::writeText(char *destination, const QByteArray &text)
{
    if (!text.isEmpty())
        std::memcpy(destination, text.constData(), size_t(text.size()));
    return destination + text.size();
}
