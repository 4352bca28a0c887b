#include "Rc4Cipher.h"

#include <cstring>
#include <utility>

Rc4Cipher::Rc4Cipher(const QByteArray &key)
{
    for (int k = 0; k < 256; ++k)
        m_scheduledState[k] = static_cast<std::uint8_t>(k);

    // An empty key would divide by zero below; the identity permutation
    // still gives a defined (if useless) key stream.
    const int keyLength = key.size();
    if (keyLength > 0) {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(key.constData());
        std::uint32_t j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + m_scheduledState[k] + bytes[k % keyLength]) & 0xff;
            std::swap(m_scheduledState[k], m_scheduledState[j]);
        }
    }
}

void Rc4Cipher::encrypt(const char *input, char *output, int length)
{
    apply(input, output, length);
}

void Rc4Cipher::decrypt(const char *input, char *output, int length)
{
    apply(input, output, length);
}

void Rc4Cipher::apply(const char *input, char *output, int length) const
{
    if (length <= 0 || !input || !output)
        return;

    std::uint8_t s[256];
    std::memcpy(s, m_scheduledState, sizeof s);
    std::uint32_t i = 0;
    std::uint32_t j = 0;
    const auto *in = reinterpret_cast<const std::uint8_t *>(input);
    auto *out = reinterpret_cast<std::uint8_t *>(output);
    for (int k = 0; k < length; ++k) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        const std::uint8_t si = s[i];
        const std::uint8_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        out[k] = in[k] ^ s[(si + sj) & 0xff];
    }
}
