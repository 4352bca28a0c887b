#pragma once

#include "BaseMessage.h"

// The result upload at the end of an examination. Sent encrypted (type 102);
// the plain form is type 6.
class ContestResultMessage : public BaseMessage
{
public:
    static constexpr quint8 plainType = 6;
    static constexpr quint8 encryptedType = 102;
    static constexpr int baseLength = 24;
    static constexpr int minimumPayload = 21;

    explicit ContestResultMessage(bool encrypted = false);

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;
    int parseEncrypted(const char *source, qint64 size, AesCipher &cipher) override;

    qint32 totalScore() const { return m_totalScore; }
    void setTotalScore(qint32 score) { m_totalScore = score; }
    qint32 passScore() const { return m_passScore; }
    void setPassScore(qint32 score) { m_passScore = score; }
    quint8 passed() const { return m_passed; }
    void setPassed(quint8 passed) { m_passed = passed; }
    qint32 candidateId() const { return m_candidateId; }
    void setCandidateId(qint32 id) { m_candidateId = id; }

    QByteArray contestCode() const { return m_contestCode; }
    void setContestCode(const char *bytes, int count);
    void setContestCode(const QByteArray &code) { setContestCode(code.constData(), code.size()); }
    // Score list ";" joined, "|", flag list, "|", situation ids.
    QByteArray detail() const { return m_detail; }
    void setDetail(const char *bytes, int count);
    void setDetail(const QByteArray &detail) { setDetail(detail.constData(), detail.size()); }

private:
    void refreshLength();

    qint32 m_totalScore = 0;
    qint32 m_passScore = 0;
    quint8 m_passed = 0;
    qint32 m_candidateId = 0;
    QByteArray m_contestCode;
    QByteArray m_detail;
};
