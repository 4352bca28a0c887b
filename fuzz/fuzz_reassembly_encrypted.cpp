// Builds a stream of encrypted frames whose plaintext, pad byte, IV and type
// the fuzzer controls, mixed with raw bytes, and feeds it to the reassembly
// under the same fixed key. Encrypting here lets the fuzzer reach the parsers
// behind the decryption instead of only ever producing noise.
//
// Input records: mode byte, 2-byte big-endian size, that many bytes.
//   mode bit 0 set: the bytes go to the stream as they are;
//   otherwise: an encrypted frame of type 100 + (mode >> 1) % 4 carrying
//   them, with pad byte (mode >> 3) when bit 7 is set, else the right pad.
#include "AesCipher.h"
#include "BaseMessage.h"
#include "FrameCodec.h"
#include "FuzzSupport.h"
#include "HandlerFactory.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray encryptedFrame(AesCipher &cipher, quint8 mode, const QByteArray &plain)
{
    const qint64 cipherSize = FrameCodec::cipherSizeFor(plain.size());
    const qint64 length = 20 + cipherSize;
    if (length > BaseMessage::maxFrameLength)
        return QByteArray();
    QByteArray frame(int(length), '\0');
    qToBigEndian<quint16>(quint16(length), frame.data());
    frame[2] = char(100 + (mode >> 1) % 4);
    frame[3] = char((mode & 0x80) ? (mode >> 3) : FrameCodec::padFor(plain.size()));
    QByteArray iv(16, char(mode));
    frame.replace(4, 16, iv);
    frame.replace(20, plain.size(), plain);
    FuzzSupport::require(cipher.encrypt(iv, frame.data() + 20, int(cipherSize)));
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AesCipher &cipher = FuzzSupport::keyedCipher();

    QByteArray stream;
    size_t at = 0;
    while (at + 3 <= size) {
        const quint8 mode = data[at];
        const size_t count = qMin<size_t>(qFromBigEndian<quint16>(data + at + 1), size - at - 3);
        const QByteArray bytes(reinterpret_cast<const char *>(data + at + 3), int(count));
        at += 3 + count;
        stream += (mode & 1) ? bytes : encryptedFrame(cipher, mode, bytes);
    }

    QByteArray accumulator;
    const int receive = 32768;
    for (int offset = 0; offset < stream.size(); offset += receive) {
        accumulator.append(stream.mid(offset, receive));
        const FrameCodec::Reassembly outcome = FrameCodec::reassemble(accumulator, cipher, [](BaseMessage &message) {
            // A decrypted message re-serialises to a payload of its length.
            FuzzSupport::require(message.payload().size()
                                 == message.frameLength() - BaseMessage::headerSize);
            HandlerFactory::dispatchToHandler(message);
        });
        // What it reports is what it left: a failure leaves nothing.
        FuzzSupport::require(outcome.kept == accumulator.size());
        FuzzSupport::require(!outcome.failed() || accumulator.isEmpty());
    }
    return 0;
}
