#pragma once

#include "AesCipher.h"

#include <QByteArray>

// Shared parts of the fuzz targets. FuzzSupport.cpp, linked into every
// target, gives them all the same quiet start in a scratch folder.
namespace FuzzSupport {

// The cipher every encrypted target uses, under one fixed session key.
inline AesCipher &keyedCipher()
{
    static AesCipher cipher;
    static const bool keyed = (cipher.setKey(QByteArray::fromHex("7a1c9e04b35f28d6610fe3a94c87b2d5"
                                                                  "0e96f13ab7245dc8893e1f60a5d27c4b")),
                               true);
    Q_UNUSED(keyed);
    return cipher;
}

// A broken invariant is a finding: stop like a crash so the input is kept.
inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace FuzzSupport
