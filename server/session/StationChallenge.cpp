#include "StationChallenge.h"

#include "AuthenStateOneMessage.h"
#include "KeyExchange.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

bool StationChallenge::draw(const QByteArray &secret)
{
    QByteArray nonce(AuthenStateOneMessage::nonceSize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(nonce.data()), nonce.size()) != 1)
        return false;
    m_nonce = nonce;
    m_expectedAnswer = KeyExchange::challengeAnswer(secret, nonce);
    m_sessionKey = KeyExchange::sessionKey(secret, nonce);
    return true;
}

bool StationChallenge::isAnsweredBy(const QByteArray &answer) const
{
    return !m_expectedAnswer.isEmpty() && answer.size() == m_expectedAnswer.size()
           && CRYPTO_memcmp(answer.constData(), m_expectedAnswer.constData(), size_t(answer.size())) == 0;
}
