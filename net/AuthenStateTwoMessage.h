#pragma once

#include "BaseMessage.h"

// The station's answer to a key-exchange challenge: a 16-byte digest.
class AuthenStateTwoMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 11;
    static constexpr int responseSize = 16;

    AuthenStateTwoMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    // Always 16 bytes.
    QByteArray response() const { return m_response; }
    // Takes the first 16 bytes; shorter input is zero-filled.
    void setResponse(const char *bytes, int count);
    void setResponse(const QByteArray &response) { setResponse(response.constData(), response.size()); }

private:
    QByteArray m_response;
};
