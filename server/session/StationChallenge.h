#pragma once

#include <QByteArray>

// The challenge that opens every station's session: a fresh random nonce,
// what a station that knows the shared secret answers to it, and the key
// the session then uses.
class StationChallenge
{
public:
    // False when no random nonce can be drawn; there is then no challenge,
    // as a guessable one would let anyone in.
    bool draw(const QByteArray &secret);
    QByteArray nonce() const { return m_nonce; }
    QByteArray sessionKey() const { return m_sessionKey; }
    // Compared in constant time, so that timing tells nothing of the answer.
    bool isAnsweredBy(const QByteArray &answer) const;

private:
    QByteArray m_nonce;
    QByteArray m_expectedAnswer;
    QByteArray m_sessionKey;
};
