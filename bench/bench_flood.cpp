// Upload round trips of many stations on one examination server alone, and
// while one more station floods it with course list requests, once never
// reading the answers and once reading them all (a sustained flood). The server runs in-process on a thread of its own, as
// `hazard-server serve` runs it; the stations are real loopback connections
// that speak the real frames, and the flooder writes from a thread of its
// own as fast as the connection takes its requests. Each station enters its
// candidate and starts the examination, then all upload their results at once, each followed by a course list request:
// the time until that answer arrives is the upload's round trip (the server
// answers a station's requests in order, and an upload has no answer of its
// own).
#include "AesCipher.h"
#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "BenchStation.h"
#include "ContestNameMessage.h"
#include "ExamServer.h"
#include "FrameCodec.h"
#include "KeyExchange.h"
#include "ServerStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int stationCount = 50;
constexpr int rounds = 3;
const QByteArray secret(57, 'f');

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

// Course lists the server has answered, counted from its log.
std::atomic<qint64> courseListsAnswered{0};
QtMessageHandler defaultHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String(" course list: ")))
        ++courseListsAnswered;
    defaultHandler(type, context, text);
}

enum class Flood { None, NeverReads, Reads };

// Answers its challenge, then sends course list requests without pause;
// its writes block whenever the server stops taking them. It either reads
// nothing more or reads and drops every answer as fast as they come.
class Flooder
{
public:
    ~Flooder() { stop(); }

    bool start(quint16 port, bool readsAnswers)
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
        if (readsAnswers) {
            m_reader = std::thread([this] {
                char buffer[64 * 1024];
                while (!m_stop && ::recv(m_fd, buffer, sizeof buffer, 0) > 0) {
                }
            });
        }
        return true;
    }

    void stop()
    {
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_reader.joinable())
            m_reader.join();
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
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
};

bool prepareDatabase(const QString &path)
{
    ServerStore store;
    if (!store.open(path, ServerStore::OpenMode::CreateIfMissing) || !store.addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1")}))
        return false;
    QList<CandidateRecord> candidates;
    for (int i = 0; i < 3 * rounds * stationCount; ++i) {
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

bool run(quint16 port, Flood flood, int firstNumber, Figures *figures)
{
    std::vector<std::unique_ptr<BenchStation>> stations;
    for (int i = 0; i < stationCount; ++i)
        stations.push_back(std::make_unique<BenchStation>(port, secret));
    if (!BenchStation::waitUntil([&] {
            return std::all_of(stations.begin(), stations.end(), [](const auto &s) { return s->authenticated(); });
        }, 30000))
        return false;
    Flooder flooder;
    if (flood != Flood::None) {
        if (!flooder.start(port, flood == Flood::Reads))
            return false;
        // Let the flood get going before the stations upload.
        QEventLoop settle;
        QTimer::singleShot(20, &settle, &QEventLoop::quit);
        settle.exec();
    }
    std::vector<double> roundTrips;
    const qint64 answeredBefore = courseListsAnswered;
    for (int round = 0; round < rounds; ++round) {
        if (!BenchStation::examineRound(stations, firstNumber + round * stationCount, &roundTrips).isEmpty())
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

    std::printf("%d stations, %d rounds of simultaneous uploads, server on its own thread\n", stationCount, rounds);
    int status = 0;
    int firstNumber = 1000;
    for (const Flood flood : {Flood::None, Flood::NeverReads, Flood::Reads}) {
        Figures figures;
        const bool ok = run(quint16(server.port), flood, firstNumber, &figures);
        firstNumber += rounds * stationCount;
        const char *what = flood == Flood::NeverReads ? "with one station flooding, never reading"
            : flood == Flood::Reads                    ? "with one station flooding, reading all"
                                                       : "alone";
        if (!ok) {
            std::printf("  %-42s stations not served within a minute\n", what);
            status = 1;
            continue;
        }
        std::printf("  %-42s upload round trip: median %7.1f ms, worst %7.1f ms (%d uploads)%s\n", what,
                    figures.medianMs, figures.worstMs, figures.samples,
                    flood != Flood::None ? "  (goal: worst < 200 ms)" : "");
        if (flood != Flood::None)
            std::printf("  %-42s %lld flood requests answered meanwhile\n", "", figures.floodAnswers);
    }
    server.quit();
    server.wait();
    return status;
}
