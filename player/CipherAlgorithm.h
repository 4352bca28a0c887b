#pragma once

// A symmetric cipher that transforms a buffer in one call. Implementations
// must accept the same buffer as input and output.
class CipherAlgorithm
{
public:
    virtual ~CipherAlgorithm() = default;

    virtual void encrypt(const char *input, char *output, int length) = 0;
    virtual void decrypt(const char *input, char *output, int length) = 0;
};
