#pragma once

#include "AddressList.h"
#include "AesCipher.h"
#include "ByteBuffer.h"
#include "StreamSocket.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class BaseMessage;
class QObject;
class RetryQuestion;

// The station's one connection to the examination server. A sending thread
// drains the queue of framed bytes; a receiving thread reassembles frames and
// runs their handlers, which is where received messages end: nothing comes
// back through this class. Messages that must survive a lost link wait in a
// pending queue and leave, encrypted under the new key, after the next key
// exchange. A file push that a lost link leaves unfinished is dropped with it.
//
// connectToServer, reinitSocket, the delivery check and close belong to the
// GUI thread (the retry question may run an event loop); sendMessage, queueMessage
// and setKey may be called from any thread, the receiving one included.
class TcpClient
{
public:
    // Results of connectToServer and reinitSocket.
    enum ConnectCode {
        Connected = 0,
        // The socket library needs no start-up on this system: never given.
        StartupFailed = 1,
        ResolveFailed = 2,
        // No address accepted the connection and the operator declined to retry.
        Unreachable = 3,
        SendThreadFailed = 4,
        ReceiveThreadFailed = 5,
    };
    static constexpr int receiveBlockSize = 32768;
    static constexpr int deliveryWaitMs = 1000;

    static TcpClient &instance();

    // The first connection. error is left at -2 unless the code is 2 (the
    // resolver's error) or 3 (the last connect error).
    int connectToServer(const QString &host, const QString &port, qint32 *error);
    // Ends the current link, waits for its threads, and connects again to
    // the stored address.
    int reinitSocket();
    // Ends the link and waits for its threads; messages still pending stay
    // for a later connection. Also the last thing to do before the process ends.
    void close();

    // Where a queued frame went: the connection it was queued for (a new
    // number for every link made, never 0) and, for a course list request,
    // its number among the course list requests queued for that connection
    // (0 for any other message). The server answers a connection's frames in
    // order and every course list request with one course list, so the n-th
    // course list received on a connection tells that everything queued for
    // it before the n-th request has been dealt with.
    struct Placement
    {
        quint64 connection = 0;
        quint64 courseRequest = 0;
    };

    // Frames the message (encrypted under the current key for types 100 and
    // above) and queues the frame; the frame's length, or -1 when the message
    // cannot be framed (too long for the wire, or no random IV).
    int sendMessage(const BaseMessage &message);
    // The same, telling where the frame went.
    int sendMessage(const BaseMessage &message, Placement *placement);
    // Keeps the message until the next key exchange.
    void queueMessage(std::unique_ptr<BaseMessage> message);
    // Installs the session key (at least 32 bytes; fewer are ignored) and
    // sends every pending message under it.
    void setKey(const QByteArray &key);
    // The station's side of a key exchange: the answer to the server's
    // challenge goes out under the old key, then the session key derived from
    // the shared secret and the challenge is installed.
    void answerChallenge(const QByteArray &nonce);

    // The delivery check: sends the message and waits up to one second on the
    // calling thread. True when the link still stands and no send failed;
    // otherwise the message is kept for the next key exchange, the link is
    // reconnected, and false is given.
    bool sendWithDeliveryCheck(std::unique_ptr<BaseMessage> message);
    // The same check without holding up the calling (GUI) thread: the
    // message leaves now and the check concludes a second later on the
    // context's thread, unless the context is gone by then. For requests
    // whose answer the user can wait for, such as the course list.
    void sendWithLaterDeliveryCheck(std::unique_ptr<BaseMessage> message, QObject *context);

    // False also while no link stands, so that a frame left in the queue of
    // a lost link never passes for a delivered one.
    bool isSendOk() const;
    void setSendOk(bool ok);
    void setRunning(bool running);
    void setWatchSend(bool watch);
    bool isConnected() const { return m_running; }
    // The connection frames are queued for now; it changes only when a link
    // is made.
    quint64 connection() const { return m_connection; }
    // For the receiving thread's listeners, while a course list is being
    // handled: its connection and its number among the course lists
    // received on that connection. Meaningless on any other thread.
    Placement courseListAnswer() const { return m_courseListAnswer; }

    // Not owned; without one, a connection that fails is not tried again.
    void setRetryQuestion(RetryQuestion *question);

    AesCipher &cipher() { return m_cipher; }

private:
    bool startDeliveryCheck(const BaseMessage &message);
    bool concludeDeliveryCheck(std::unique_ptr<BaseMessage> message);
    TcpClient();
    // Never destroyed: a link thread may still run while static objects
    // are torn down.
    ~TcpClient() = default;

    int openLink(qint32 *error);
    int startThreads();
    void stopLink();
    void sendLoop();
    void receiveLoop(quint64 connection);
    // Called by a link thread that finds the connection gone.
    void linkLost();
    // Marks the link down; true when it was up.
    bool takeDown();
    void failWatchedSend();
    bool askRetry();

    StreamSocket m_socket;
    AddressList m_addresses;

    std::mutex m_outgoingLock;
    std::condition_variable m_outgoingReady;
    ByteBuffer m_outgoing;
    // Both change under m_outgoingLock: a new connection starts with an
    // empty queue.
    std::atomic<quint64> m_connection{0};
    quint64 m_courseRequests = 0;
    // Written and read by the receiving thread only.
    Placement m_courseListAnswer;

    std::thread m_sendThread;
    std::thread m_receiveThread;

    QString m_host;
    QString m_port;
    AesCipher m_cipher;
    RetryQuestion *m_retryQuestion = nullptr;

    std::mutex m_pendingLock;
    std::deque<std::unique_ptr<BaseMessage>> m_pending;

    std::mutex m_watchLock;
    std::atomic<bool> m_sendOk{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_watchSend{false};

    // Wakes a delivery check when the link goes down.
    std::mutex m_linkLock;
    std::condition_variable m_linkChanged;
    // Set while a connection is being made, so that a delivery check run
    // from the retry question's event loop does not start a second one.
    bool m_connecting = false;
};
