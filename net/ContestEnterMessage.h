#pragma once

#include "BaseMessage.h"

// The station's entry request: the chosen course code and the typed
// candidate number. Sent encrypted (type 100); the plain form is type 4.
class ContestEnterMessage : public BaseMessage
{
public:
    static constexpr quint8 plainType = 4;
    static constexpr quint8 encryptedType = 100;
    static constexpr int baseLength = 11;
    static constexpr int minimumPayload = 8;

    explicit ContestEnterMessage(bool encrypted = false);

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;
    int parseEncrypted(const char *source, qint64 size, AesCipher &cipher) override;

    QByteArray contestCode() const { return m_contestCode; }
    void setContestCode(const char *bytes, int count);
    void setContestCode(const QByteArray &code) { setContestCode(code.constData(), code.size()); }
    QByteArray candidateNumber() const { return m_candidateNumber; }
    void setCandidateNumber(const char *bytes, int count);
    void setCandidateNumber(const QByteArray &number)
    {
        setCandidateNumber(number.constData(), number.size());
    }

private:
    void refreshLength();

    QByteArray m_contestCode;
    QByteArray m_candidateNumber;
};
