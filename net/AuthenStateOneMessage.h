#pragma once

#include "BaseMessage.h"

// The server's key-exchange challenge: 16 raw bytes.
class AuthenStateOneMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 10;
    static constexpr int nonceSize = 16;

    AuthenStateOneMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    // Always 16 bytes.
    QByteArray nonce() const { return m_nonce; }
    // Takes the first 16 bytes; shorter input is zero-filled.
    void setNonce(const char *bytes, int count);
    void setNonce(const QByteArray &nonce) { setNonce(nonce.constData(), nonce.size()); }

private:
    QByteArray m_nonce;
};
