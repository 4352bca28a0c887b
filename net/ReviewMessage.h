#pragma once

#include "BaseMessage.h"

// A past examination sent for review: score list, flag list and situation
// list joined by "|", UTF-8.
class ReviewMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 9;
    static constexpr int baseLength = 7;
    static constexpr int minimumPayload = 4;

    ReviewMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    QByteArray text() const { return m_text; }
    void setText(const char *bytes, int count);
    void setText(const QByteArray &text) { setText(text.constData(), text.size()); }

private:
    QByteArray m_text;
};
