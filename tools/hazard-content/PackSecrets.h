#pragma once

#include <QString>
#include <QStringList>

// The values a station build compiles in to accept one content pack. The
// authentication secret does not touch the pack; it travels with the other
// four so that the printed lines configure a complete station build.
class PackSecrets
{
public:
    QString salt;      // 57 lowercase hex characters, hashed as text
    QString digest;    // 32 lowercase hex characters: md5(salt + ksm.db)
    QString password;  // 38 lowercase hex characters
    QString videoKey;  // 32 lowercase hex characters, 16 key bytes
    QString authSecret; // 57 lowercase hex characters, shared with the server

    // The values this program was built with.
    static PackSecrets builtIn();
    // Fresh salt, password and video key from the system's secure random
    // source, and this build's authentication secret; false when the random
    // source cannot deliver.
    static bool generate(PackSecrets *secrets);

    // Messages about every value that is present but malformed; the digest
    // is checked only when `withDigest` is set.
    QStringList problems(bool withDigest) const;
    // The lines a CMake cache takes: NAME=value.
    QStringList cmakeLines() const;

private:
    static bool randomHex(int length, QString *text);
};
