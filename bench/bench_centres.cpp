// The upload round trip when the stations of a centre share one PostgreSQL
// database through two servers, beside the same load on one server with its
// SQLite file. Every station examines a candidate of its own in each round:
// entry, start of the examination, then all stations upload at once, each
// followed by a course list request; the answer to that request marks the
// moment the server has dealt with the upload (a station's frames are taken
// in order, and an upload has no answer of its own).
//
// Both runs use the real hazard-server executable; the scratch PostgreSQL
// cluster syncs its commits to disk, as the SQLite file does.
#include "AesCipher.h"
#include "AuthenStateOneMessage.h"
#include "AuthenStateTwoMessage.h"
#include "Constants.h"
#include "ContestEnterMessage.h"
#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "InfoConfirmMessage.h"
#include "KeyExchange.h"
#include "PgScratch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int stationCount = 100;
constexpr int rounds = 3;
constexpr int licenceClass = 2;
constexpr double goalMs = 250;
const QByteArray secret(57, 'b');
const QByteArray course("K1");
// Ten scores adding up to 25, the flag times, the situations.
const QByteArray detail = "5;0;3;1;4;0;2;5;5;0|10400;30000;52000;71000;90500;0;131000;150200;171000;190000|"
                          "3;17;25;41;44;58;63;71;80;92";
constexpr int total = 25;

// A station reduced to what the measurement needs: it answers the
// challenge and notes the answers it gets.
class Station : public QObject
{
public:
    explicit Station(quint16 port)
    {
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool authenticated() const { return m_authenticated; }
    bool lost() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    int entryCode() const { return m_entryCode; }
    int courseAnswers() const { return m_courseAnswers; }
    qint64 lastCourseAnswerAt() const { return m_lastCourseAnswerAt; }

    void enter(int number)
    {
        m_entryCode = noAnswer;
        ContestEnterMessage message(true);
        message.setContestCode(course);
        message.setCandidateNumber(QByteArray::number(number));
        send(message);
    }

    void confirm(int id)
    {
        InfoConfirmMessage message(true);
        message.setMarker(1);
        message.setCandidateId(id);
        message.setConfirmed(0);
        send(message);
    }

    void upload(int id)
    {
        const int passScore = Constants::passScores().value(licenceClass);
        ContestResultMessage result(true);
        result.setCandidateId(id);
        result.setContestCode(course);
        result.setTotalScore(total);
        result.setPassScore(passScore);
        result.setPassed(total >= passScore ? 1 : 0);
        result.setDetail(detail);
        send(result);
        send(ContestNameMessage());
    }

    static constexpr int noAnswer = -99;
    static QElapsedTimer clock;

private:
    void send(const BaseMessage &message) { m_socket.write(FrameCodec::buildFrame(message, m_cipher)); }

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
                m_entryCode = entry->code();
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
    int m_entryCode = noAnswer;
    int m_courseAnswers = 0;
    qint64 m_lastCourseAnswerAt = 0;
};

QElapsedTimer Station::clock;

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

// The hazard-server command line, on one database.
class ServerCommand
{
public:
    ServerCommand(const QString &db, const QProcessEnvironment &environment, const QString &folder)
        : m_db(db)
        , m_environment(environment)
        , m_folder(folder)
    {
    }

    bool run(const QStringList &args) const
    {
        QProcess process;
        setUp(process);
        process.start(QStringLiteral(HAZARD_SERVER_BIN), QStringList{"--db", m_db} + args);
        if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0)
            return true;
        std::fprintf(stderr, "hazard-server %s: %s\n", qPrintable(args.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
        return false;
    }

    // The database with course K1 and the candidates every round needs,
    // each with its number as its id.
    bool prepare() const
    {
        QByteArray csv = "number,course,class,pid,name,id\n";
        for (int n = 1; n <= rounds * stationCount; ++n)
            csv += QStringLiteral("%1,K1,%2,0790%1,Thí sinh %1,%1\n").arg(n).arg(licenceClass).toUtf8();
        const QString path = m_folder + QStringLiteral("/candidates.csv");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
            return false;
        file.close();
        return run({"init"}) && run({"add-course", "K1", "Khóa 1"}) && run({"import", path});
    }

    // Starts `serve`, its log in a file as an operator would keep it; the
    // port it listens on, or 0.
    quint16 serve(QProcess &process, const QString &centre) const
    {
        setUp(process);
        process.setStandardErrorFile(m_folder + QStringLiteral("/serve-%1.log").arg(centre));
        process.start(QStringLiteral(HAZARD_SERVER_BIN),
                      {"--db", m_db, "serve", "--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret),
                       "--centre", centre});
        if (!waitUntil([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 60000))
            return 0;
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)"))
                                                  .match(QString::fromUtf8(process.readLine()));
        return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    }

private:
    void setUp(QProcess &process) const
    {
        // The servers' control sockets go to the bench's folder too.
        QProcessEnvironment environment = m_environment;
        environment.insert(QStringLiteral("TMPDIR"), m_folder);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_folder);
    }

    QString m_db;
    QProcessEnvironment m_environment;
    QString m_folder;
};

struct Figures
{
    double medianMs = 0;
    double worstMs = 0;
    int samples = 0;
    QString failure;
};

// The stations spread over the servers' ports in turn.
Figures measure(const QList<quint16> &ports)
{
    Figures figures;
    std::vector<std::unique_ptr<Station>> stations;
    for (int i = 0; i < stationCount; ++i)
        stations.push_back(std::make_unique<Station>(ports.at(i % ports.size())));
    auto all = [&](const std::function<bool(const Station &)> &test) {
        return std::all_of(stations.begin(), stations.end(), [&](const auto &s) { return test(*s); });
    };
    if (!waitUntil([&] { return all([](const Station &s) { return s.authenticated(); }); }, 60000)) {
        figures.failure = QStringLiteral("stations not past the challenge within a minute");
        return figures;
    }
    std::vector<double> roundTrips;
    for (int round = 0; round < rounds; ++round) {
        const int first = 1 + round * stationCount;
        for (int i = 0; i < stationCount; ++i)
            stations[size_t(i)]->enter(first + i);
        if (!waitUntil([&] { return all([](const Station &s) { return s.entryCode() != Station::noAnswer; }); },
                       60000)
            || !all([](const Station &s) { return s.entryCode() == EnterResponseMessage::Admitted; })) {
            figures.failure = QStringLiteral("entries not all admitted in round %1").arg(round + 1);
            return figures;
        }
        for (int i = 0; i < stationCount; ++i)
            stations[size_t(i)]->confirm(first + i);
        std::vector<qint64> sentAt(stations.size());
        std::vector<int> answersBefore(stations.size());
        for (int i = 0; i < stationCount; ++i) {
            Station &s = *stations[size_t(i)];
            answersBefore[size_t(i)] = s.courseAnswers();
            sentAt[size_t(i)] = Station::clock.nsecsElapsed();
            s.upload(first + i);
        }
        if (!waitUntil([&] {
                for (size_t i = 0; i < stations.size(); ++i) {
                    if (stations[i]->courseAnswers() == answersBefore[i] && !stations[i]->lost())
                        return false;
                }
                return true;
            }, 60000)
            || !all([](const Station &s) { return !s.lost(); })) {
            figures.failure = QStringLiteral("uploads not all answered in round %1").arg(round + 1);
            return figures;
        }
        for (size_t i = 0; i < stations.size(); ++i)
            roundTrips.push_back(double(stations[i]->lastCourseAnswerAt() - sentAt[i]) / 1e6);
    }
    std::sort(roundTrips.begin(), roundTrips.end());
    figures.samples = int(roundTrips.size());
    figures.medianMs = roundTrips[roundTrips.size() / 2];
    figures.worstMs = roundTrips.back();
    return figures;
}

void stop(QProcess &server)
{
    server.terminate();
    if (!server.waitForFinished(30000))
        server.kill();
    server.waitForFinished(30000);
}

void print(const char *what, const Figures &figures, bool withGoal)
{
    if (!figures.failure.isEmpty()) {
        std::printf("  %-30s %s\n", what, qPrintable(figures.failure));
        return;
    }
    std::printf("  %-30s %8.1f %8.1f %8d%s\n", what, figures.medianMs, figures.worstMs, figures.samples,
                withGoal && figures.worstMs >= goalMs ? "   (goal: worst < 250 ms)" : "");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    Station::clock.start();

    Figures shared;
    {
        PgScratch pg(true);
        if (!pg.start()) {
            std::fprintf(stderr, "cannot start a scratch PostgreSQL server: %s\n", qPrintable(pg.why()));
            return 1;
        }
        const QString url = pg.createDatabase(QStringLiteral("centres"));
        const ServerCommand command(url, pg.environment(), dir.path());
        if (url.isEmpty() || !command.prepare()) {
            std::fprintf(stderr, "cannot prepare the PostgreSQL database %s\n", qPrintable(pg.why()));
            return 1;
        }
        QProcess a;
        QProcess b;
        const quint16 portA = command.serve(a, QStringLiteral("A"));
        const quint16 portB = command.serve(b, QStringLiteral("B"));
        if (portA == 0 || portB == 0) {
            std::fprintf(stderr, "the servers on PostgreSQL did not start; see %s\n", qPrintable(dir.path()));
            dir.setAutoRemove(false);
            return 1;
        }
        shared = measure({portA, portB});
        stop(a);
        stop(b);
    }

    Figures single;
    {
        const ServerCommand command(dir.filePath(QStringLiteral("server.db")),
                                    QProcessEnvironment::systemEnvironment(), dir.path());
        QProcess server;
        quint16 port = 0;
        if (!command.prepare() || (port = command.serve(server, QStringLiteral("S"))) == 0) {
            std::fprintf(stderr, "the server on SQLite did not start\n");
            return 1;
        }
        single = measure({port});
        stop(server);
    }

    std::printf("%d stations, %d rounds of simultaneous uploads; round trip of upload + course list, ms\n",
                stationCount, rounds);
    std::printf("  %-30s %8s %8s %8s\n", "", "median", "worst", "uploads");
    print("PostgreSQL, two servers", shared, true);
    print("SQLite, one server", single, false);
    return shared.failure.isEmpty() && single.failure.isEmpty() ? 0 : 1;
}
