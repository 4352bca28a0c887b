#include "FrameCodec.h"

#include "AesCipher.h"
#include "BaseMessage.h"
#include "ConsoleLine.h"
#include "MessageFactory.h"
#include "NetLogging.h"

#include <QtEndian>

#include <cstring>

#include <openssl/rand.h>

namespace {

constexpr int encryptedHeader = 4 + AesCipher::blockSize;

void writeLength(char *frame, qint64 length)
{
    qToBigEndian<quint16>(quint16(length), frame);
}

QByteArray refuseOversize(const BaseMessage &message, qint64 length)
{
    ConsoleLine::write("Message too long to send. Message type = " + QByteArray::number(message.type())
                       + ", length = " + QByteArray::number(length));
    return QByteArray();
}

} // namespace

int FrameCodec::padFor(qint64 plainSize)
{
    return int((AesCipher::blockSize - plainSize % AesCipher::blockSize) % AesCipher::blockSize);
}

qint64 FrameCodec::cipherSizeFor(qint64 plainSize)
{
    return qMax<qint64>(plainSize + padFor(plainSize), AesCipher::blockSize);
}

QByteArray FrameCodec::buildFrame(const BaseMessage &message, AesCipher &cipher)
{
    if (message.type() < 100)
        return buildFrame(message, cipher, QByteArray());
    // A predictable IV would let an observer link equal payloads; draw it
    // from the system's cryptographic generator for every frame.
    QByteArray iv(AesCipher::blockSize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(iv.data()), iv.size()) != 1) {
        ConsoleLine::write("Can not draw a random IV. Message type = "
                           + QByteArray::number(message.type()));
        return QByteArray();
    }
    return buildFrame(message, cipher, iv);
}

QByteArray FrameCodec::buildFrame(const BaseMessage &message, AesCipher &cipher, const QByteArray &iv)
{
    const qint64 plainLength = message.frameLength();
    const qint64 plainSize = plainLength - BaseMessage::headerSize;
    if (plainSize < 0)
        return QByteArray();
    if (message.type() < 100) {
        if (plainLength > BaseMessage::maxFrameLength)
            return refuseOversize(message, plainLength);
        QByteArray frame(int(plainLength), '\0');
        writeLength(frame.data(), plainLength);
        frame[2] = char(message.type());
        if (message.serialize(frame.data() + BaseMessage::headerSize, plainSize) < 0)
            return QByteArray();
        return frame;
    }

    const qint64 cipherSize = cipherSizeFor(plainSize);
    const qint64 length = encryptedHeader + cipherSize;
    if (length > BaseMessage::maxFrameLength)
        return refuseOversize(message, length);
    if (iv.size() != AesCipher::blockSize)
        return QByteArray();
    QByteArray frame(int(length), '\0');
    char *body = frame.data() + encryptedHeader;
    if (message.serialize(body, plainSize) < 0)
        return QByteArray();
    if (!cipher.encrypt(iv, body, int(cipherSize)))
        return QByteArray();
    writeLength(frame.data(), length);
    frame[2] = char(message.type());
    frame[3] = char(padFor(plainSize));
    std::memcpy(frame.data() + 4, iv.constData(), AesCipher::blockSize);
    return frame;
}

FrameCodec::Reassembly FrameCodec::reassemble(QByteArray &accumulator, AesCipher &cipher,
                                              const Delivery &deliver, int maxFrames)
{
    // Frames are parsed where they lie: the messages copy out their fields,
    // so neither the accumulator nor each frame needs a copy of its own. The
    // shared reference keeps the bytes valid whatever a delivery does.
    const QByteArray received = accumulator;
    const char *const bytes = received.constData();
    const int size = received.size();
    Reassembly outcome;
    auto discard = [&](const QByteArray &line, int at) {
        ConsoleLine::write(line);
        accumulator.clear();
        outcome.dropped = size - at;
        return outcome;
    };
    int consumed = 0;
    while (size - consumed >= BaseMessage::headerSize && (maxFrames <= 0 || outcome.delivered < maxFrames)) {
        const char *frame = bytes + consumed;
        const int length = qFromBigEndian<quint16>(frame);
        if (length < BaseMessage::headerSize)
            return discard("Message length is invalid", consumed);
        if (size - consumed < length) {
            // Every long frame arrives in pieces: a line per piece is a trace.
            if (lcNet().isDebugEnabled())
                ConsoleLine::write("Message length is not enough");
            break;
        }
        const quint8 type = quint8(frame[2]);

        std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(type);
        if (!message)
            return discard("Create message failed. Message type = " + QByteArray::number(type), consumed);
        message->setLength(quint16(length));
        message->setType(type);
        const char *payload = frame + BaseMessage::headerSize;
        const qint64 payloadSize = length - BaseMessage::headerSize;
        const int parsed = type < 100 ? message->parse(payload, payloadSize)
                                      : message->parseEncrypted(payload, payloadSize, cipher);
        if (parsed < 0)
            return discard("Parse message failed. Message type = " + QByteArray::number(type), consumed);
        consumed += length;
        ++outcome.delivered;
        if (deliver)
            deliver(*message, type);
    }
    accumulator.remove(0, consumed);
    outcome.kept = size - consumed;
    return outcome;
}

FrameCodec::Reassembly FrameCodec::reassemble(QByteArray &accumulator, AesCipher &cipher,
                                              const MessageDelivery &deliver)
{
    return reassemble(accumulator, cipher, [&deliver](BaseMessage &message, quint8) {
        if (deliver)
            deliver(message);
    });
}
