#include "Rc4Cipher.h"

#include <utility>

Rc4Cipher::Rc4Cipher(const QByteArray &key)
    : m_key(key)
    , m_keyLength(static_cast<std::int32_t>(key.size()))
{
}

void Rc4Cipher::encrypt(const char *input, char *output, int length)
{
    apply(input, output, length);
}

void Rc4Cipher::decrypt(const char *input, char *output, int length)
{
    apply(input, output, length);
}

void Rc4Cipher::resetState()
{
    for (int k = 0; k < 256; ++k)
        m_state[k] = static_cast<std::uint8_t>(k);

    // An empty key would divide by zero below; the identity permutation
    // still gives a defined (if useless) key stream.
    if (m_keyLength > 0) {
        const auto *key = reinterpret_cast<const std::uint8_t *>(m_key.constData());
        std::uint32_t j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + m_state[k] + key[k % m_keyLength]) & 0xff;
            std::swap(m_state[k], m_state[j]);
        }
    }
    m_i = 0;
    m_j = 0;
}

void Rc4Cipher::apply(const char *input, char *output, int length)
{
    if (length <= 0 || !input || !output)
        return;

    resetState();

    // Locals keep the hot loop in registers; the members are written back
    // so the state after a call is the one the algorithm describes.
    std::uint32_t i = static_cast<std::uint32_t>(m_i);
    std::uint32_t j = static_cast<std::uint32_t>(m_j);
    std::uint8_t *s = m_state;
    const auto *in = reinterpret_cast<const std::uint8_t *>(input);
    auto *out = reinterpret_cast<std::uint8_t *>(output);
    for (int k = 0; k < length; ++k) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        const std::uint8_t si = s[i];
        s[i] = s[j];
        s[j] = si;
        out[k] = in[k] ^ s[(s[i] + si) & 0xff];
    }
    m_i = static_cast<std::int32_t>(i);
    m_j = static_cast<std::int32_t>(j);
}
