#pragma once

#include "BaseMessage.h"

// One chunk of a file push: the whole payload is the next bytes of the file.
class SyncVideoMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 2;

    SyncVideoMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    QByteArray data() const { return m_data; }
    void setData(const char *bytes, int count);
    void setData(const QByteArray &data) { setData(data.constData(), data.size()); }

private:
    QByteArray m_data;
};
