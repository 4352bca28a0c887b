#pragma once

#include <QByteArray>
#include <QString>

// What the station learns from the server, as the message handlers deliver it.
// All calls come on the link's receiving thread; an implementation that
// touches GUI objects must hand the values over through queued signals.
class ClientInputInterface
{
public:
    virtual ~ClientInputInterface() = default;

    virtual void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                                 const QString &fullName, const QString &image) = 0;
    // The 16 challenge bytes of a key exchange.
    virtual void onAuthenStateOne(const QByteArray &nonce) = 0;
    // The two course lists as received (UTF-8, ";" joined); the pointers are
    // valid during the call only.
    virtual void onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                               int nameLength) = 0;
    virtual void onReview(const QString &text) = 0;
};
