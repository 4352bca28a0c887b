#include "PackSecrets.h"

#include "Constants.h"

#include <QByteArray>
#include <QRegularExpression>

#include <openssl/rand.h>

namespace {

bool isLowerHex(const QString &text, int length)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]*$"));
    return text.size() == length && pattern.match(text).hasMatch();
}

} // namespace

PackSecrets PackSecrets::builtIn()
{
    PackSecrets secrets;
    secrets.salt = Constants::dbSalt();
    secrets.digest = Constants::dbDigest();
    secrets.password = Constants::dbPassword();
    secrets.videoKey = Constants::videoKeyText();
    secrets.authSecret = Constants::authSecret();
    return secrets;
}

bool PackSecrets::randomHex(int length, QString *text)
{
    QByteArray bytes((length + 1) / 2, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), bytes.size()) != 1)
        return false;
    *text = QString::fromLatin1(bytes.toHex().left(length));
    return true;
}

bool PackSecrets::generate(PackSecrets *secrets)
{
    secrets->authSecret = Constants::authSecret();
    return randomHex(57, &secrets->salt) && randomHex(38, &secrets->password)
           && randomHex(32, &secrets->videoKey);
}

QStringList PackSecrets::problems(bool withDigest) const
{
    QStringList found;
    if (!isLowerHex(salt, 57))
        found << QStringLiteral("the salt must be 57 lowercase hexadecimal characters");
    if (withDigest && !isLowerHex(digest, 32))
        found << QStringLiteral("the digest must be 32 lowercase hexadecimal characters");
    if (!isLowerHex(password, 38))
        found << QStringLiteral("the password must be 38 lowercase hexadecimal characters");
    if (!isLowerHex(videoKey, 32))
        found << QStringLiteral("the video key must be 32 lowercase hexadecimal characters");
    if (!isLowerHex(authSecret, 57))
        found << QStringLiteral("the authentication secret must be 57 lowercase hexadecimal characters");
    return found;
}

QStringList PackSecrets::cmakeLines() const
{
    return {QStringLiteral("HAZARD_AUTH_SECRET=") + authSecret,
            QStringLiteral("HAZARD_DB_SALT=") + salt,
            QStringLiteral("HAZARD_DB_DIGEST=") + digest,
            QStringLiteral("HAZARD_DB_PASSWORD=") + password,
            QStringLiteral("HAZARD_VIDEO_KEY=") + videoKey};
}
