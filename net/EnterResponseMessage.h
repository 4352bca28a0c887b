#pragma once

#include "BaseMessage.h"

// The server's verdict on an entry request, with the candidate's identity
// when the candidate is admitted (code 0) or may review (code 2). Type 5
// plain, 101 encrypted; the station accepts both.
class EnterResponseMessage : public BaseMessage
{
public:
    static constexpr quint8 plainType = 5;
    static constexpr quint8 encryptedType = 101;
    static constexpr int baseLength = 27;
    static constexpr int minimumPayload = 24;

    // Values of `code` the station tells apart.
    enum Code : qint32 {
        Admitted = 0,
        UnknownCandidate = 1,
        ReviewAvailable = 2,
        AlreadyExamining = 3,
        TheoryNotPassed = 5,
        NotRequired = 6,
        Error = -1,
    };

    explicit EnterResponseMessage(bool encrypted = false);

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;
    int parseEncrypted(const char *source, qint64 size, AesCipher &cipher) override;

    qint32 code() const { return m_code; }
    void setCode(qint32 code) { m_code = code; }
    qint32 cert() const { return m_cert; }
    void setCert(qint32 cert) { m_cert = cert; }
    qint32 id() const { return m_id; }
    void setId(qint32 id) { m_id = id; }

    QByteArray pid() const { return m_pid; }
    void setPid(const char *bytes, int count);
    void setPid(const QByteArray &pid) { setPid(pid.constData(), pid.size()); }
    QByteArray fullName() const { return m_fullName; }
    void setFullName(const char *bytes, int count);
    void setFullName(const QByteArray &name) { setFullName(name.constData(), name.size()); }
    // The photo as Base64 text.
    QByteArray image() const { return m_image; }
    void setImage(const char *bytes, int count);
    void setImage(const QByteArray &image) { setImage(image.constData(), image.size()); }

private:
    void refreshLength();

    qint32 m_code = 0;
    qint32 m_cert = 0;
    qint32 m_id = 0;
    QByteArray m_pid;
    QByteArray m_fullName;
    QByteArray m_image;
};
