#pragma once

#include <QByteArray>

#include <mutex>

// AES-256 in CBC mode without padding, computed by OpenSSL. The frame format
// supplies its own zero fill, so every call works on whole 16-byte blocks.
//
// One cipher is shared by the receiving thread and every sending thread, so
// an IV and the operation that uses it must not be split: prefer the
// overloads that take the IV as an argument; they run under the cipher's lock.
// The stored IV is never changed by an encryption or decryption.
class AesCipher
{
public:
    static constexpr int keySize = 32;
    static constexpr int blockSize = 16;

    // Starts with the built-in default key and IV, which only matter for an
    // encrypted frame before the first key exchange.
    AesCipher();

    AesCipher(const AesCipher &) = delete;
    AesCipher &operator=(const AesCipher &) = delete;

    // Copies the first 32 bytes; fewer than 32 leave the key unchanged.
    void setKey(const char *bytes, int count);
    void setKey(const QByteArray &key) { setKey(key.constData(), key.size()); }
    // Copies the first 16 bytes; fewer than 16 leave the IV unchanged.
    void setIV(const char *bytes, int count);
    void setIV(const QByteArray &iv) { setIV(iv.constData(), iv.size()); }

    QByteArray key() const;
    QByteArray iv() const;

    // In place over count bytes, chained from the stored IV. False when count
    // is negative or not a multiple of 16, or the library fails; the buffer is
    // then left unspecified.
    bool encrypt(char *buffer, int count);
    bool decrypt(char *buffer, int count);

    // The same, chained from the given 16-byte IV; the stored IV is untouched.
    bool encrypt(const QByteArray &iv, char *buffer, int count);
    bool decrypt(const QByteArray &iv, char *buffer, int count);

private:
    bool run(bool encrypting, const unsigned char *iv, char *buffer, int count);

    // A standard mutex rather than QMutex: its locking is visible to the
    // thread sanitizer, which checks the link's threads that share the cipher.
    mutable std::mutex m_lock;
    unsigned char m_key[keySize];
    unsigned char m_iv[blockSize];
};
