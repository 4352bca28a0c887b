#pragma once

#include "BaseMessage.h"

// The station's confirmation of the candidate shown: confirmed 1 for a
// review entry, 0 when an examination starts. Sent encrypted (type 103); the
// plain form is type 7.
class InfoConfirmMessage : public BaseMessage
{
public:
    static constexpr quint8 plainType = 7;
    static constexpr quint8 encryptedType = 103;
    static constexpr int baseLength = 9;
    static constexpr int minimumPayload = 6;

    explicit InfoConfirmMessage(bool encrypted = false);

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;
    int parseEncrypted(const char *source, qint64 size, AesCipher &cipher) override;

    quint8 marker() const { return m_marker; }
    void setMarker(quint8 marker) { m_marker = marker; }
    qint32 candidateId() const { return m_candidateId; }
    void setCandidateId(qint32 id) { m_candidateId = id; }
    quint8 confirmed() const { return m_confirmed; }
    void setConfirmed(quint8 confirmed) { m_confirmed = confirmed; }

private:
    quint8 m_marker = 1;
    qint32 m_candidateId = 0;
    quint8 m_confirmed = 0;
};
