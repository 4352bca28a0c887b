#pragma once

#include <QByteArray>

// The two values both ends derive from the shared secret and the server's
// 16-byte challenge. The secret's bytes are its 57 hexadecimal characters as
// text, not their decoded value.
class KeyExchange
{
public:
    // The built-in shared secret as bytes.
    static QByteArray secret();

    // MD5( MD5(secret) || challenge ): the 16-byte raw answer.
    static QByteArray challengeAnswer(const QByteArray &secret, const QByteArray &challenge);
    // PBKDF2-HMAC-SHA1, password secret || challenge, salt secret,
    // 5 iterations, 32 bytes: the AES-256 session key.
    static QByteArray sessionKey(const QByteArray &secret, const QByteArray &challenge);
};
