#pragma once

#include "CipherAlgorithm.h"
#include "Constants.h"

#include <QByteArray>

#include <cstdint>

// RC4 whose key stream restarts from its first byte on every call, so one
// call never depends on another and encrypting twice restores the input.
// The key schedule is run once, here; every call starts from a copy of it
// and changes nothing in the object, so calls may run on several threads.
class Rc4Cipher final : public CipherAlgorithm
{
public:
    explicit Rc4Cipher(const QByteArray &key = Constants::videoKey());

    void encrypt(const char *input, char *output, int length) override;
    void decrypt(const char *input, char *output, int length) override;

private:
    void apply(const char *input, char *output, int length) const;

    std::uint8_t m_scheduledState[256] = {};
};
