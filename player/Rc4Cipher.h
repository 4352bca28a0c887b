#pragma once

#include "CipherAlgorithm.h"
#include "Constants.h"

#include <QByteArray>

#include <cstdint>

// RC4 whose key stream restarts from its first byte on every call, so one
// call never depends on another and encrypting twice restores the input.
class Rc4Cipher final : public CipherAlgorithm
{
public:
    explicit Rc4Cipher(const QByteArray &key = Constants::videoKey());

    void encrypt(const char *input, char *output, int length) override;
    void decrypt(const char *input, char *output, int length) override;

private:
    void resetState();
    void apply(const char *input, char *output, int length);

    QByteArray m_key;
    std::uint8_t m_state[256] = {};
    std::int32_t m_keyLength = 0;
    std::int32_t m_i = 0;
    std::int32_t m_j = 0;
};
