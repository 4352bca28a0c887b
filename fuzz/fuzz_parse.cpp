// Parses one payload as the message type named by the first input byte.
// Whatever parses must serialise back to a payload that parses to itself and
// survives framing, encrypted or not.
#include "AesCipher.h"
#include "BaseMessage.h"
#include "FrameCodec.h"
#include "FuzzSupport.h"
#include "MessageFactory.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    AesCipher &cipher = FuzzSupport::keyedCipher();

    const int type = data[0];
    std::unique_ptr<BaseMessage> message = MessageFactory::instance()->createMessage(type);
    if (!message)
        return 0;
    // A copy of exactly the payload, so ASan sees any read past its end.
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const int parsed = type < 100 ? message->parse(payload.constData(), payload.size())
                                  : message->parseEncrypted(payload.constData(), payload.size(), cipher);
    if (parsed < 0)
        return 0;

    // After decryption the length covers the whole decrypted plaintext, which
    // may hold more than the fields; the fields come first, the rest is zero.
    const QByteArray written = message->payload();
    FuzzSupport::require(written.size() == message->frameLength() - BaseMessage::headerSize);

    std::unique_ptr<BaseMessage> again = MessageFactory::instance()->createMessage(message->type());
    FuzzSupport::require(again != nullptr);
    FuzzSupport::require(again->parse(written.constData(), written.size()) == 0);
    const QByteArray canonical = again->payload();
    FuzzSupport::require(written.startsWith(canonical));
    FuzzSupport::require(written.mid(canonical.size()).count('\0')
                         == written.size() - canonical.size());
    if (type < 100)
        FuzzSupport::require(written == canonical);

    // Framing the message and reading the frame back gives the same payload.
    const QByteArray frame = FrameCodec::buildFrame(*again, cipher);
    if (!frame.isEmpty()) {
        QByteArray stream = frame;
        const int sentType = again->type();
        const FrameCodec::Reassembly outcome =
            FrameCodec::reassemble(stream, cipher, [&](BaseMessage &m, quint8 wireType) {
                FuzzSupport::require(m.payload() == canonical && wireType == sentType);
            });
        FuzzSupport::require(outcome.delivered == 1 && outcome.kept == 0 && stream.isEmpty());
    }
    return 0;
}
