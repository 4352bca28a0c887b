#pragma once

#include "ResultRecord.h"
#include "ServerStore.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

// Stores the results that stations upload, several at a time: the results
// that arrive while the store is busy go into one transaction, so that a
// shared database writes its disk once for all of them instead of once
// each, and a burst of uploads is not served one disk write after another.
// Everything runs on the server's thread; a result's outcome is handed to
// its callback from the event loop, never from within submit().
class ResultWriter : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(ServerStore::Upload outcome, const QString &why)>;

    explicit ResultWriter(ServerStore *store, QObject *parent = nullptr);

    // The callback is dropped when the receiver is gone by then.
    void submit(const ResultRecord &result, QObject *receiver, Done done);

private:
    void write();

    struct Pending
    {
        ResultRecord result;
        QPointer<QObject> receiver;
        Done done;
    };
    ServerStore *m_store;
    QList<Pending> m_pending;
    bool m_scheduled = false;
};
