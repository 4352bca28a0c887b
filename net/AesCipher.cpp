#include "AesCipher.h"

#include <cstring>
#include <memory>

#include <openssl/evp.h>

namespace {

// Seed of the default key; the key itself is only built when a cipher is
// created, so it does not sit in the binary as one block.
constexpr char defaultKeySeed[] = "hazard-station default frame key";
constexpr unsigned char defaultIv[AesCipher::blockSize] = {
    0x3a, 0x91, 0x5c, 0x07, 0xe2, 0x48, 0xb6, 0x1d,
    0x70, 0xcf, 0x25, 0x8e, 0x13, 0xa4, 0x69, 0xfb,
};

struct ContextDeleter
{
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

} // namespace

AesCipher::AesCipher()
{
    unsigned int written = 0;
    if (EVP_Digest(defaultKeySeed, sizeof defaultKeySeed - 1, m_key, &written, EVP_sha256(), nullptr) != 1
        || written != keySize)
        std::memset(m_key, 0, keySize);
    std::memcpy(m_iv, defaultIv, blockSize);
}

void AesCipher::setKey(const char *bytes, int count)
{
    if (!bytes || count < keySize)
        return;
    std::lock_guard<std::mutex> locker(m_lock);
    for (int i = 0; i < keySize; ++i)
        m_key[i] = static_cast<unsigned char>(bytes[i]);
}

void AesCipher::setIV(const char *bytes, int count)
{
    if (!bytes || count < blockSize)
        return;
    std::lock_guard<std::mutex> locker(m_lock);
    for (int i = 0; i < blockSize; ++i)
        m_iv[i] = static_cast<unsigned char>(bytes[i]);
}

QByteArray AesCipher::key() const
{
    std::lock_guard<std::mutex> locker(m_lock);
    return QByteArray(reinterpret_cast<const char *>(m_key), keySize);
}

QByteArray AesCipher::iv() const
{
    std::lock_guard<std::mutex> locker(m_lock);
    return QByteArray(reinterpret_cast<const char *>(m_iv), blockSize);
}

bool AesCipher::encrypt(char *buffer, int count)
{
    std::lock_guard<std::mutex> locker(m_lock);
    return run(true, m_iv, buffer, count);
}

bool AesCipher::decrypt(char *buffer, int count)
{
    std::lock_guard<std::mutex> locker(m_lock);
    return run(false, m_iv, buffer, count);
}

bool AesCipher::encrypt(const QByteArray &iv, char *buffer, int count)
{
    if (iv.size() < blockSize)
        return false;
    std::lock_guard<std::mutex> locker(m_lock);
    return run(true, reinterpret_cast<const unsigned char *>(iv.constData()), buffer, count);
}

bool AesCipher::decrypt(const QByteArray &iv, char *buffer, int count)
{
    if (iv.size() < blockSize)
        return false;
    std::lock_guard<std::mutex> locker(m_lock);
    return run(false, reinterpret_cast<const unsigned char *>(iv.constData()), buffer, count);
}

// Caller holds m_lock.
bool AesCipher::run(bool encrypting, const unsigned char *iv, char *buffer, int count)
{
    if (count < 0 || count % blockSize != 0)
        return false;
    if (count == 0)
        return true;
    if (!buffer)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context)
        return false;
    if (EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, m_key, iv, encrypting ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    auto *data = reinterpret_cast<unsigned char *>(buffer);
    int written = 0;
    if (EVP_CipherUpdate(context.get(), data, &written, data, count) != 1 || written != count)
        return false;
    int tail = 0;
    // With padding off and whole blocks in, the final step only checks state.
    unsigned char spare[blockSize];
    return EVP_CipherFinal_ex(context.get(), spare, &tail) == 1 && tail == 0;
}
