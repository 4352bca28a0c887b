#pragma once

#include <QByteArray>

#include <functional>

class AesCipher;
class BaseMessage;

// The frame layer of the server link, as plain functions over bytes so that
// the station, the examination server, the tests and the fuzzers share one
// implementation.
//
// Plain frame (types below 100): length (2 bytes, big-endian, whole frame),
// type, payload. Encrypted frame (types 100 to 103): length = 20 + C, type,
// pad count, 16-byte IV, then C bytes of AES-256-CBC over the plain payload
// followed by pad zero bytes (C a multiple of 16, at least 16).
class FrameCodec
{
public:
    // The message as parsed (a decrypted one reports its plain type) and the
    // type byte its frame carried.
    using Delivery = std::function<void(BaseMessage &message, quint8 wireType)>;
    // For a receiver to whom the wire type does not matter.
    using MessageDelivery = std::function<void(BaseMessage &message)>;

    // What one reassembly did with the accumulator.
    struct Reassembly
    {
        int delivered = 0; // frames handed to the delivery
        int kept = 0;      // bytes left for the next call
        int dropped = 0;   // bytes thrown away with a frame that cannot be read

        bool failed() const { return dropped > 0; }
    };

    // The whole frame for a message, encrypted with a fresh random IV when its
    // type is 100 or above. A frame longer than 65,535 bytes cannot be
    // expressed; it is refused with an empty result and a line on standard
    // output, and the caller reports the send as failed.
    static QByteArray buildFrame(const BaseMessage &message, AesCipher &cipher);
    // The same with a given 16-byte IV, for reproducible frames.
    static QByteArray buildFrame(const BaseMessage &message, AesCipher &cipher,
                                 const QByteArray &iv);

    // Takes every complete frame off the front of the accumulator, parses it
    // (decrypting types 100 and above with the cipher) and hands the message
    // to deliver, in order. An incomplete frame stays for the next call. A
    // length below 3, an unknown type or a payload that does not parse
    // discards the whole accumulator: the stream cannot be resynchronised.
    // Each outcome other than delivery writes its line to standard output.
    // deliver must not touch the accumulator; it is rewritten on return.
    // With maxFrames above 0 at most that many frames are taken; the rest
    // stay, complete or not, for a later call, and no line is written for
    // them.
    static Reassembly reassemble(QByteArray &accumulator, AesCipher &cipher, const Delivery &deliver,
                                 int maxFrames = 0);
    static Reassembly reassemble(QByteArray &accumulator, AesCipher &cipher, const MessageDelivery &deliver);

    // The encrypted-frame sizes for a plain payload of plainSize bytes.
    static int padFor(qint64 plainSize);
    static qint64 cipherSizeFor(qint64 plainSize);
};
