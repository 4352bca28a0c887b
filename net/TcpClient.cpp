#include "TcpClient.h"

#include "AuthenStateTwoMessage.h"
#include "BaseMessage.h"
#include "ConsoleLine.h"
#include "ContestNameMessage.h"
#include "FrameCodec.h"
#include "HandlerFactory.h"
#include "InputDispatcher.h"
#include "KeyExchange.h"
#include "NetLogging.h"
#include "RetryQuestion.h"
#include "VideoObject.h"

#include <QByteArray>
#include <QDebug>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace {

constexpr std::chrono::milliseconds sendPollInterval(10);

QByteArray number(int value)
{
    return QByteArray::number(value);
}

bool isCourseListRequest(const BaseMessage &message)
{
    const auto *names = dynamic_cast<const ContestNameMessage *>(&message);
    return names && names->type() == ContestNameMessage::messageType && names->isResponse() == 0;
}

} // namespace

TcpClient &TcpClient::instance()
{
    static TcpClient *client = [] {
        // The receiving thread delivers to the dispatcher; creating it first
        // makes it outlive the link that the exit handler below closes.
        InputDispatcher::instance();
        // So is the log category the closing link writes to.
        lcNet();
        auto *created = new TcpClient;
        std::atexit([] { TcpClient::instance().close(); });
        return created;
    }();
    return *client;
}

TcpClient::TcpClient() = default;

int TcpClient::connectToServer(const QString &host, const QString &port, qint32 *error)
{
    if (error)
        *error = -2;
    if (m_connecting)
        return Connected;
    stopLink();
    m_host = host;
    m_port = port;
    return openLink(error);
}

int TcpClient::reinitSocket()
{
    // A reconnection already under way (its question box runs an event
    // loop) will carry the pending messages; a second one would walk the
    // address list beneath the first.
    if (m_connecting)
        return Connected;
    stopLink();
    return openLink(nullptr);
}

void TcpClient::close()
{
    stopLink();
}

int TcpClient::openLink(qint32 *error)
{
    m_connecting = true;
    const QByteArray host = m_host.toUtf8();
    const QByteArray port = m_port.toUtf8();
    int resolved = m_addresses.resolve(host.constData(), port.constData());
    if (resolved != 0) {
        ConsoleLine::write("getaddrinfo failed with error: " + number(resolved) + ". Try again now...");
        resolved = m_addresses.resolve(host.constData(), port.constData());
        if (resolved != 0) {
            ConsoleLine::write("getaddrinfo failed with error: " + number(resolved) + ". Stop now");
            if (error)
                *error = resolved;
            m_connecting = false;
            return ResolveFailed;
        }
    }

    for (;;) {
        int connectError = 0;
        bool connected = false;
        for (int i = 0; i < m_addresses.count() && !connected; ++i) {
            if (!m_socket.open(m_addresses.family(i), m_addresses.socketType(i),
                               m_addresses.protocol(i))) {
                connectError = StreamSocket::lastError();
                ConsoleLine::write("socket failed with error: " + number(connectError));
                continue;
            }
            connected = m_socket.connectTo(m_addresses.address(i), m_addresses.addressLength(i));
            if (!connected) {
                connectError = StreamSocket::lastError();
                m_socket.close();
            }
        }
        if (connected)
            break;
        ConsoleLine::write("Unable to connect to server!");
        if (!askRetry()) {
            m_addresses.clear();
            if (error)
                *error = connectError;
            m_connecting = false;
            return Unreachable;
        }
    }
    m_addresses.clear();
    const int code = startThreads();
    m_connecting = false;
    return code;
}

bool TcpClient::askRetry()
{
    return m_retryQuestion && m_retryQuestion->askRetry();
}

int TcpClient::startThreads()
{
    {
        // Whatever is still queued was framed for the connection that is
        // gone: its encrypted frames carry the old session key, and the
        // server expects the challenge answer first. Messages that must
        // survive wait in the pending queue instead.
        std::lock_guard<std::mutex> lock(m_outgoingLock);
        if (m_outgoing.unread() > 0)
            ConsoleLine::write("Dropped " + QByteArray::number(m_outgoing.unread())
                               + " bytes queued for the previous connection");
        m_outgoing.clear();
        ++m_connection;
        m_courseRequests = 0;
    }
    m_running = true;
    // std::thread reports a failure to start by an exception; it is turned
    // into the result code here and goes no further.
    try {
        m_sendThread = std::thread(&TcpClient::sendLoop, this);
    } catch (const std::system_error &) {
        ConsoleLine::write("Can not create thread for sending data");
        stopLink();
        return SendThreadFailed;
    }
    try {
        m_receiveThread = std::thread(&TcpClient::receiveLoop, this, quint64(m_connection));
    } catch (const std::system_error &) {
        ConsoleLine::write("Can not create thread for receiving data");
        stopLink();
        return ReceiveThreadFailed;
    }
    qCInfo(lcNet).noquote() << QStringLiteral("Link to the examination server %1:%2 up").arg(m_host, m_port);
    return Connected;
}

void TcpClient::stopLink()
{
    if (takeDown())
        qCInfo(lcNet) << "Link to the examination server closed";
    // Wakes a receiving thread blocked in recv and a sending thread blocked
    // in send; the socket itself is closed only when neither uses it.
    m_socket.shutdown();
    {
        std::lock_guard<std::mutex> lock(m_outgoingLock);
    }
    m_outgoingReady.notify_all();
    if (m_sendThread.joinable())
        m_sendThread.join();
    if (m_receiveThread.joinable())
        m_receiveThread.join();
    m_socket.close();
}

void TcpClient::setRunning(bool running)
{
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        m_running = running;
    }
    m_linkChanged.notify_all();
}

// Both link threads may find the connection gone at once; only the first
// says so.
bool TcpClient::takeDown()
{
    bool wasRunning = false;
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        wasRunning = m_running.exchange(false);
    }
    m_linkChanged.notify_all();
    return wasRunning;
}

void TcpClient::linkLost()
{
    if (takeDown())
        qCInfo(lcNet) << "Link to the examination server down";
    m_socket.shutdown();
    {
        std::lock_guard<std::mutex> lock(m_outgoingLock);
    }
    m_outgoingReady.notify_all();
}

void TcpClient::sendLoop()
{
    std::unique_lock<std::mutex> lock(m_outgoingLock);
    while (m_running) {
        if (m_outgoing.unread() > 0) {
            const int64_t sent = m_socket.send(m_outgoing.readPointer(), int64_t(m_outgoing.unread()));
            if (sent >= 0) {
                m_outgoing.consume(quint64(sent));
            } else if (StreamSocket::lastError() != EINTR) {
                ConsoleLine::write("send failed with error: " + number(StreamSocket::lastError()));
                m_outgoing.clear();
                lock.unlock();
                failWatchedSend();
                linkLost();
                return;
            }
            continue;
        }
        m_outgoingReady.wait_for(lock, sendPollInterval,
                                 [this] { return !m_running || m_outgoing.unread() > 0; });
    }
}

void TcpClient::failWatchedSend()
{
    std::lock_guard<std::mutex> lock(m_watchLock);
    if (m_watchSend) {
        m_sendOk = false;
        m_watchSend = false;
    }
}

void TcpClient::receiveLoop(quint64 connection)
{
    // A file push belongs to the link it started on: a later link cannot
    // continue it (its chunks would be appended to the wrong bytes), so a
    // transfer still open when this link ends is dropped here, on the only
    // thread that feeds the writer.
    struct PushOfThisLink
    {
        ~PushOfThisLink() { InputDispatcher::instance()->videoSink()->abandon(); }
    } pushOfThisLink;
    std::unique_ptr<char[]> block(new char[receiveBlockSize]);
    QByteArray accumulator;
    quint64 courseLists = 0;
    const FrameCodec::Delivery deliver = [&](BaseMessage &message, quint8 wireType) {
        if (wireType == ContestNameMessage::messageType)
            m_courseListAnswer = Placement{connection, ++courseLists};
        HandlerFactory::dispatchToHandler(message);
    };
    while (m_running) {
        const int64_t received = m_socket.receive(block.get(), receiveBlockSize);
        if (received > 0) {
            accumulator.append(block.get(), int(received));
            FrameCodec::reassemble(accumulator, m_cipher, deliver);
            continue;
        }
        const int failure = received < 0 ? StreamSocket::lastError() : 0;
        if (received < 0 && failure == EINTR)
            continue;
        // A closed or failed connection stays so: leave at once instead of
        // polling a dead socket, and mark the link down so that the next
        // delivery check reconnects.
        if (m_running) {
            if (received == 0)
                ConsoleLine::write("Server closed the connection");
            else
                ConsoleLine::write("recv failed with error: " + number(failure));
            linkLost();
        }
        return;
    }
}

int TcpClient::sendMessage(const BaseMessage &message)
{
    return sendMessage(message, nullptr);
}

int TcpClient::sendMessage(const BaseMessage &message, Placement *placement)
{
    const QByteArray frame = FrameCodec::buildFrame(message, m_cipher);
    if (frame.isEmpty())
        return -1;
    const bool courseRequest = isCourseListRequest(message);
    {
        std::lock_guard<std::mutex> lock(m_outgoingLock);
        m_outgoing.append(frame.constData(), quint64(frame.size()));
        if (courseRequest)
            ++m_courseRequests;
        if (placement)
            *placement = Placement{m_connection, courseRequest ? m_courseRequests : 0};
    }
    m_outgoingReady.notify_one();
    return frame.size();
}

void TcpClient::queueMessage(std::unique_ptr<BaseMessage> message)
{
    if (!message)
        return;
    std::lock_guard<std::mutex> lock(m_pendingLock);
    m_pending.push_back(std::move(message));
}

void TcpClient::answerChallenge(const QByteArray &nonce)
{
    const QByteArray secret = KeyExchange::secret();
    AuthenStateTwoMessage answer;
    answer.setResponse(KeyExchange::challengeAnswer(secret, nonce));
    sendMessage(answer);
    setKey(KeyExchange::sessionKey(secret, nonce));
}

void TcpClient::setKey(const QByteArray &key)
{
    if (key.size() < AesCipher::keySize)
        return;
    m_cipher.setKey(key);
    std::lock_guard<std::mutex> lock(m_pendingLock);
    while (!m_pending.empty()) {
        const std::unique_ptr<BaseMessage> message = std::move(m_pending.front());
        m_pending.pop_front();
        sendMessage(*message);
    }
}

bool TcpClient::sendWithDeliveryCheck(std::unique_ptr<BaseMessage> message)
{
    if (!message || !startDeliveryCheck(*message))
        return false;
    {
        // The full second, unless the link goes down sooner.
        std::unique_lock<std::mutex> lock(m_linkLock);
        m_linkChanged.wait_for(lock, std::chrono::milliseconds(deliveryWaitMs),
                               [this] { return !m_running; });
    }
    return concludeDeliveryCheck(std::move(message));
}

void TcpClient::sendWithLaterDeliveryCheck(std::unique_ptr<BaseMessage> message, QObject *context)
{
    if (!message || !startDeliveryCheck(*message))
        return;
    // QTimer wants a copyable function; the message still has one owner.
    auto held = std::make_shared<std::unique_ptr<BaseMessage>>(std::move(message));
    QTimer::singleShot(deliveryWaitMs, context, [this, held] { concludeDeliveryCheck(std::move(*held)); });
}

bool TcpClient::startDeliveryCheck(const BaseMessage &message)
{
    setSendOk(true);
    setWatchSend(true);
    // A message that cannot be framed would fail the same way after any
    // reconnection; the caller learns of it from the result.
    return sendMessage(message) >= 0;
}

bool TcpClient::concludeDeliveryCheck(std::unique_ptr<BaseMessage> message)
{
    if (isSendOk())
        return true;
    setRunning(false);
    queueMessage(std::move(message));
    if (reinitSocket() != Connected)
        qCWarning(lcNet) << "Can't reinit socket";
    return false;
}

bool TcpClient::isSendOk() const
{
    return m_sendOk && m_running;
}

void TcpClient::setSendOk(bool ok)
{
    m_sendOk = ok;
}

void TcpClient::setWatchSend(bool watch)
{
    std::lock_guard<std::mutex> lock(m_watchLock);
    m_watchSend = watch;
}

void TcpClient::setRetryQuestion(RetryQuestion *question)
{
    m_retryQuestion = question;
}
