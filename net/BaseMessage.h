#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <initializer_list>
#include <utility>

class AesCipher;

// One message of the server link. A message knows its plain payload; the
// frame around it (length, type, and for types 100 and above the encryption)
// is built and taken apart by FrameCodec.
//
// length() is the size of the whole plain frame, the 3 header bytes
// included, and is kept current by every field setter. A message may be
// larger than a 16-bit length can express; frameLength() gives the true size
// so that the sender can refuse such a message instead of truncating it.
class BaseMessage
{
public:
    static constexpr int headerSize = 3;
    static constexpr qint64 maxFrameLength = 65535;

    // Writes the plain payload (frameLength() - 3 bytes) into destination;
    // -1 when size is too small.
    virtual int serialize(char *destination, qint64 size) const = 0;
    // Reads a plain payload; -1 when it is shorter than the type's minimum or
    // a declared field length runs past its end, 0 on success.
    virtual int parse(const char *source, qint64 size) = 0;
    // Decrypts and parses the payload of an encrypted frame (pad byte, IV,
    // ciphertext). Types without an encrypted form do nothing and give 0.
    virtual int parseEncrypted(const char *source, qint64 size, AesCipher &cipher);
    virtual ~BaseMessage();

    quint16 length() const { return quint16(qMin<qint64>(m_frameLength, maxFrameLength)); }
    void setLength(quint16 length) { m_frameLength = length; }
    qint64 frameLength() const { return m_frameLength; }

    quint8 type() const { return m_type; }
    void setType(quint8 type) { m_type = type; }

    // The plain payload as bytes; empty when the message cannot serialise.
    QByteArray payload() const;

    // A received text field: UTF-8 up to the first zero byte, if any.
    static QString decodeText(const QByteArray &bytes);

    // The plain type (4 to 7) that an encrypted type (100 to 103) carries.
    static quint8 plainTypeOf(quint8 encryptedType) { return quint8(encryptedType - 96); }

protected:
    BaseMessage(quint8 type, qint64 baseLength);
    BaseMessage(const BaseMessage &) = default;
    BaseMessage &operator=(const BaseMessage &) = default;

    // Frame length = the class's fixed part plus its current text lengths.
    void updateLength(qint64 textBytes) { m_frameLength = m_baseLength + textBytes; }
    qint64 payloadSize() const { return m_frameLength - headerSize; }

    // Shared decryption of the four classes with an encrypted form.
    int parseEncryptedPayload(const char *source, qint64 size, AesCipher &cipher);

    static qint32 readInt32(const char *source);
    static void writeInt32(char *destination, qint32 value);
    // A declared text length as a byte count: zero or below means empty.
    static qint64 textLength(qint32 declared) { return declared > 0 ? declared : 0; }
    static QByteArray copyBytes(const char *bytes, int count);
    // Reads consecutive texts whose declared lengths come from the header;
    // false when they do not fit between offset and size.
    static bool readTexts(const char *source, qint64 size, qint64 offset,
                          std::initializer_list<std::pair<qint32, QByteArray *>> fields);
    static char *writeText(char *destination, const QByteArray &text);

private:
    quint8 m_type;
    qint64 m_baseLength;
    qint64 m_frameLength;
};
