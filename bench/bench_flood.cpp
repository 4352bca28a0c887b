// Upload round trips of many stations on one examination server while one
// more station floods it with course list requests and never reads the
// answers. The server runs in-process on a thread of its own, as
// `hazard-server serve` runs it; the stations are real loopback connections
// that speak the real frames, and the flooder writes from a thread of its
// own as fast as the connection takes its requests. Each station enters its candidate, then all
// upload their results at once, each followed by a course list request:
// the time until that answer arrives is the upload's round trip (the server
// answers a station's requests in order, and an upload has no answer of its
// own).
#include "AesCipher.h"
#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EnterResponseMessage.h"
#include "ExamServer.h"
#include "FrameCodec.h"
#include "KeyExchange.h"
#include "ServerStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int stationCount = 50;
constexpr int rounds = 3;
const QByteArray secret(57, 'f');
const QByteArray course("K1");
const QByteArray detail = "5;0;3;1;4;0;2;5;5;0|10400;30000;52000;71000;90500;0;131000;150200;171000;190000|"
                          "3;17;25;41;44;58;63;71;80;92";

// Runs the server's event loop, as the serve command does.
class ServerThread : public QThread
{
public:
    explicit ServerThread(const QString &dbPath)
        : m_dbPath(dbPath)
    {
    }
    std::atomic<int> port{0};

protected:
    void run() override
    {
        ServerStore store;
        if (!store.open(m_dbPath, ServerStore::OpenMode::MustExist)) {
            std::fprintf(stderr, "cannot open the database: %s\n", qPrintable(store.lastError()));
            port = -1;
            return;
        }
        ExamServer server(&store);
        server.setSecret(secret);
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            port = -1;
            return;
        }
        port = server.port();
        exec();
        server.close();
    }

private:
    QString m_dbPath;
};

// A station reduced to what the measurement needs: it answers the
// challenge, and notes when each answer of a type arrives.
class Station : public QObject
{
public:
    explicit Station(quint16 port)
    {
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool authenticated() const { return m_authenticated; }
    int enteredId() const { return m_enteredId; }
    int courseAnswers() const { return m_courseAnswers; }
    qint64 lastCourseAnswerAt() const { return m_lastCourseAnswerAt; }

    void send(const BaseMessage &message) { m_socket.write(FrameCodec::buildFrame(message, m_cipher)); }

    static QElapsedTimer clock;

private:
    void onReadyRead()
    {
        m_accumulator += m_socket.readAll();
        FrameCodec::reassemble(m_accumulator, m_cipher, [this](BaseMessage &message) {
            if (auto *challenge = dynamic_cast<AuthenStateOneMessage *>(&message)) {
                AuthenStateTwoMessage answer;
                answer.setResponse(KeyExchange::challengeAnswer(secret, challenge->nonce()));
                send(answer);
                m_cipher.setKey(KeyExchange::sessionKey(secret, challenge->nonce()));
                m_authenticated = true;
            } else if (auto *entry = dynamic_cast<EnterResponseMessage *>(&message)) {
                m_enteredId = entry->code() == 0 ? entry->id() : -1;
            } else if (dynamic_cast<ContestNameMessage *>(&message)) {
                ++m_courseAnswers;
                m_lastCourseAnswerAt = clock.nsecsElapsed();
            }
        });
    }

    QTcpSocket m_socket;
    AesCipher m_cipher;
    QByteArray m_accumulator;
    bool m_authenticated = false;
    int m_enteredId = 0;
    int m_courseAnswers = 0;
    qint64 m_lastCourseAnswerAt = 0;
};

QElapsedTimer Station::clock;

// Course lists the server has answered, counted from its log.
std::atomic<qint64> courseListsAnswered{0};
QtMessageHandler defaultHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String(" course list: ")))
        ++courseListsAnswered;
    defaultHandler(type, context, text);
}

// Answers its challenge, then sends course list requests without pause and
// reads nothing more; its writes block whenever the server stops taking
// them.
class Flooder
{
public:
    ~Flooder() { stop(); }

    bool start(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return false;
        QByteArray challenge(AuthenStateOneMessage::nonceSize + BaseMessage::headerSize, '\0');
        for (int got = 0; got < challenge.size();) {
            const ssize_t n = ::recv(m_fd, challenge.data() + got, size_t(challenge.size() - got), 0);
            if (n <= 0)
                return false;
            got += int(n);
        }
        AuthenStateTwoMessage answer;
        answer.setResponse(KeyExchange::challengeAnswer(secret, challenge.mid(BaseMessage::headerSize)));
        AesCipher unused; // both frames travel in plain form
        const QByteArray answerFrame = FrameCodec::buildFrame(answer, unused);
        if (!sendAll(answerFrame))
            return false;
        const QByteArray requests = FrameCodec::buildFrame(ContestNameMessage(), unused).repeated(5000);
        m_thread = std::thread([this, requests] {
            while (!m_stop && sendAll(requests)) {
            }
        });
        return true;
    }

    void stop()
    {
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    bool sendAll(const QByteArray &bytes)
    {
        for (int at = 0; at < bytes.size();) {
            const ssize_t n = ::send(m_fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            at += int(n);
        }
        return true;
    }

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

bool prepareDatabase(const QString &path)
{
    ServerStore store;
    if (!store.open(path, ServerStore::OpenMode::CreateIfMissing) || !store.addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1")}))
        return false;
    QList<CandidateRecord> candidates;
    for (int i = 0; i < 2 * rounds * stationCount; ++i) {
        CandidateRecord c;
        c.number = QString::number(1000 + i);
        c.courseCode = QStringLiteral("K1");
        c.licenceClass = 2;
        c.pid = QStringLiteral("0790") + c.number;
        c.fullName = QStringLiteral("Thí sinh ") + c.number;
        candidates.append(c);
    }
    return store.addCandidates(&candidates);
}

struct Figures
{
    double medianMs = 0;
    double worstMs = 0;
    int samples = 0;
    qint64 floodAnswers = 0;
};

// One round: every station enters a fresh candidate, then all upload at
// once. Returns false when a station was not served within a minute.
bool measureRound(std::vector<std::unique_ptr<Station>> &stations, int firstNumber, std::vector<double> *roundTrips)
{
    for (size_t i = 0; i < stations.size(); ++i) {
        ContestEnterMessage enter(true);
        enter.setContestCode(course);
        enter.setCandidateNumber(QByteArray::number(firstNumber + int(i)));
        stations[i]->send(enter);
    }
    if (!waitUntil([&] {
            return std::all_of(stations.begin(), stations.end(), [](const auto &s) { return s->enteredId() != 0; });
        }, 60000))
        return false;

    std::vector<qint64> sentAt(stations.size());
    std::vector<int> answersBefore(stations.size());
    for (size_t i = 0; i < stations.size(); ++i) {
        Station &s = *stations[i];
        if (s.enteredId() <= 0)
            return false;
        ContestResultMessage result(true);
        result.setCandidateId(s.enteredId());
        result.setContestCode(course);
        result.setTotalScore(25);
        result.setPassScore(35);
        result.setPassed(0);
        result.setDetail(detail);
        answersBefore[i] = s.courseAnswers();
        sentAt[i] = Station::clock.nsecsElapsed();
        s.send(result);
        s.send(ContestNameMessage());
    }
    if (!waitUntil([&] {
            for (size_t i = 0; i < stations.size(); ++i) {
                if (stations[i]->courseAnswers() == answersBefore[i])
                    return false;
            }
            return true;
        }, 60000))
        return false;
    for (size_t i = 0; i < stations.size(); ++i)
        roundTrips->push_back((stations[i]->lastCourseAnswerAt() - sentAt[i]) / 1e6);
    return true;
}

bool run(quint16 port, bool flood, int firstNumber, Figures *figures)
{
    std::vector<std::unique_ptr<Station>> stations;
    for (int i = 0; i < stationCount; ++i)
        stations.push_back(std::make_unique<Station>(port));
    if (!waitUntil([&] {
            return std::all_of(stations.begin(), stations.end(), [](const auto &s) { return s->authenticated(); });
        }, 30000))
        return false;
    Flooder flooder;
    if (flood) {
        if (!flooder.start(port))
            return false;
        // Let the flood get going before the stations upload.
        QEventLoop settle;
        QTimer::singleShot(20, &settle, &QEventLoop::quit);
        settle.exec();
    }
    std::vector<double> roundTrips;
    const qint64 answeredBefore = courseListsAnswered;
    for (int round = 0; round < rounds; ++round) {
        if (!measureRound(stations, firstNumber + round * stationCount, &roundTrips))
            return false;
    }
    // Less the one course list each upload was followed by.
    figures->floodAnswers = courseListsAnswered - answeredBefore - rounds * stationCount;
    flooder.stop();
    std::sort(roundTrips.begin(), roundTrips.end());
    figures->samples = int(roundTrips.size());
    figures->medianMs = roundTrips[roundTrips.size() / 2];
    figures->worstMs = roundTrips.back();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("server.db"));
    if (!dir.isValid() || !prepareDatabase(path)) {
        std::fprintf(stderr, "cannot prepare the database\n");
        return 1;
    }
    // The server logs every exchange on standard error, as serve does: its
    // cost is part of what is measured (run with 2>/dev/null or 2>file).
    defaultHandler = qInstallMessageHandler(countingHandler);
    ServerThread server(path);
    server.start();
    while (server.port == 0)
        QThread::msleep(5);
    if (server.port < 0)
        return 1;
    Station::clock.start();

    std::printf("%d stations, %d rounds of simultaneous uploads, server on its own thread\n", stationCount, rounds);
    int status = 0;
    int firstNumber = 1000;
    for (const bool flood : {false, true}) {
        Figures figures;
        const bool ok = run(quint16(server.port), flood, firstNumber, &figures);
        firstNumber += rounds * stationCount;
        const char *what = flood ? "with one station flooding, never reading" : "alone";
        if (!ok) {
            std::printf("  %-42s stations not served within a minute\n", what);
            status = 1;
            continue;
        }
        std::printf("  %-42s upload round trip: median %7.1f ms, worst %7.1f ms (%d uploads)%s\n", what,
                    figures.medianMs, figures.worstMs, figures.samples,
                    flood && figures.worstMs >= 200 ? "  (goal: worst < 200 ms)" : "");
        if (flood)
            std::printf("  %-42s %lld flood requests answered meanwhile\n", "", figures.floodAnswers);

    }
    server.quit();
    server.wait();
    return status;
}
