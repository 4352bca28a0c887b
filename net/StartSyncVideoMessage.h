#pragma once

#include "BaseMessage.h"

// Opens a file push: the whole payload is the file name, UTF-8.
class StartSyncVideoMessage : public BaseMessage
{
public:
    static constexpr quint8 messageType = 1;

    StartSyncVideoMessage();

    int serialize(char *destination, qint64 size) const override;
    int parse(const char *source, qint64 size) override;

    QByteArray fileName() const { return m_fileName; }
    void setFileName(const char *bytes, int count);
    void setFileName(const QByteArray &name) { setFileName(name.constData(), name.size()); }

private:
    QByteArray m_fileName;
};
