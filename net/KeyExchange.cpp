#include "KeyExchange.h"

#include "Constants.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>

QByteArray KeyExchange::secret()
{
    return Constants::authSecret().toLatin1();
}

QByteArray KeyExchange::challengeAnswer(const QByteArray &secret, const QByteArray &challenge)
{
    const QByteArray inner = QCryptographicHash::hash(secret, QCryptographicHash::Md5);
    return QCryptographicHash::hash(inner + challenge, QCryptographicHash::Md5);
}

QByteArray KeyExchange::sessionKey(const QByteArray &secret, const QByteArray &challenge)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha1, secret + challenge, secret,
                                              5, 32);
}
