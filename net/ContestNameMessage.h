#pragma once

#include "BaseMessage.h"

// The course list: the station's request (isResponse 0, both lists empty)
// and the server's answer (isResponse 1, codes and names joined by ";").
class ContestNameMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 8;
    static constexpr int baseLength = 12;
    static constexpr int minimumPayload = 9;

    ContestNameMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    quint8 isResponse() const { return m_isResponse; }
    void setIsResponse(quint8 isResponse) { m_isResponse = isResponse; }
    QByteArray contestCode() const { return m_contestCode; }
    void setContestCode(const char *bytes, int count);
    void setContestCode(const QByteArray &code) { setContestCode(code.constData(), code.size()); }
    QByteArray contestName() const { return m_contestName; }
    void setContestName(const char *bytes, int count);
    void setContestName(const QByteArray &name) { setContestName(name.constData(), name.size()); }

private:
    void refreshLength();

    quint8 m_isResponse = 0;
    QByteArray m_contestCode;
    QByteArray m_contestName;
};
