// File push throughput over loopback: hazard-server (run as a process) sends
// a file to a station built from TcpClient and the dispatcher's file writer,
// from the push request on the server's control socket to the complete file
// on the station's disk. Beside it, a plain TCP copy of the same bytes on
// loopback (send in one thread, recv and write to disk in another, synced at
// the end as the station's file is). Goal: the push reaches at least half the
// plain copy's rate.
//
//   bench_push [MiB] [rounds]     (default 256 MiB, 3 rounds)
#include "ClientInputInterface.h"
#include "ControlChannel.h"
#include "InputDispatcher.h"
#include "ServerStore.h"
#include "TcpClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Answerer : public ClientInputInterface
{
public:
    void onEnterResponse(qint32, qint32, qint32, const QString &, const QString &, const QString &) override {}
    void onAuthenStateOne(const QByteArray &nonce) override
    {
        TcpClient::instance().answerChallenge(nonce);
    }
    void onContestName(const char *, int, const char *, int) override {}
    void onReview(const QString &) override {}
};

void fail(const char *what)
{
    std::fprintf(stderr, "bench_push: %s\n", what);
    std::exit(1);
}

void pause1ms()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The receive path writes a line on standard output for every partial frame
// and the file writer logs every chunk; both stay part of the measured work
// but go to /dev/null so that the figures remain readable.
class Quiet
{
public:
    Quiet()
    {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
        m_handler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    }
    ~Quiet()
    {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        qInstallMessageHandler(m_handler);
    }

private:
    int m_saved = -1;
    QtMessageHandler m_handler = nullptr;
};

double pushOnce(const QString &database, const QString &payload, qint64 size)
{
    const QString name = QStringLiteral("pushed.bin");
    QFile::remove(name);
    Quiet quiet;
    QElapsedTimer timer;
    timer.start();
    QString why;
    if (ControlChannel::requestPush(*ServerStore::controlKey(database, 0), payload, name, &why) != 1)
        fail("the push did not reach exactly one station");
    // The writer renames its temporary file into place when the transfer ends.
    while (QFileInfo(name).size() != size) {
        pause1ms();
        if (timer.elapsed() > 600000)
            fail("the pushed file did not arrive");
    }
    return timer.nsecsElapsed() / 1e9;
}

double plainCopyOnce(const QString &payload, const QString &target)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        fail("plain copy: cannot listen");

    QElapsedTimer timer;
    timer.start();
    std::thread receiver([&] {
        const int connection = ::accept(listener, nullptr, nullptr);
        const int file = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> block(65536);
        for (;;) {
            const ssize_t got = ::recv(connection, block.data(), block.size(), 0);
            if (got <= 0)
                break;
            if (::write(file, block.data(), size_t(got)) != got)
                fail("plain copy: write failed");
        }
        ::fdatasync(file);
        ::close(file);
        ::close(connection);
    });
    const int sender = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(sender, reinterpret_cast<sockaddr *>(&address), length) != 0)
        fail("plain copy: cannot connect");
    const int source = ::open(QFile::encodeName(payload).constData(), O_RDONLY);
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t got = ::read(source, block.data(), block.size());
        if (got <= 0)
            break;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t n = ::send(sender, block.data() + sent, size_t(got - sent), MSG_NOSIGNAL);
            if (n < 0)
                fail("plain copy: send failed");
            sent += n;
        }
    }
    ::close(source);
    ::close(sender);
    receiver.join();
    ::close(listener);
    return timer.nsecsElapsed() / 1e9;
}

bool sameContent(const QString &a, const QString &b)
{
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly) || left.size() != right.size())
        return false;
    while (!left.atEnd()) {
        if (left.read(1 << 20) != right.read(1 << 20))
            return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 mib = args.size() > 1 ? args.at(1).toLongLong() : 256;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 3;
    if (mib <= 0 || rounds <= 0)
        fail("usage: bench_push [MiB] [rounds]");
    const qint64 size = mib << 20;

    QTemporaryDir dir;
    if (!dir.isValid())
        fail("no temporary folder");
    const QString payload = dir.filePath(QStringLiteral("payload.bin"));
    {
        QFile file(payload);
        if (!file.open(QIODevice::WriteOnly))
            fail("cannot write the payload");
        QRandomGenerator random(8);
        std::vector<quint32> block((1 << 20) / sizeof(quint32));
        for (qint64 written = 0; written < size; written += 1 << 20) {
            random.fillRange(block.data(), block.size());
            file.write(reinterpret_cast<const char *>(block.data()), qMin<qint64>(1 << 20, size - written));
        }
    }

    const QString database = dir.filePath(QStringLiteral("server.db"));
    QProcess init;
    init.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    init.start(QStringLiteral(HAZARD_SERVER_BIN), {QStringLiteral("--db"), database, QStringLiteral("init")});
    if (!init.waitForFinished(30000) || init.exitCode() != 0)
        fail("hazard-server init failed");
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral(HAZARD_SERVER_BIN),
                 {QStringLiteral("--db"), database, QStringLiteral("serve"), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1:0")});
    if (!server.waitForReadyRead(30000))
        fail("hazard-server serve did not start");
    const QByteArray line = server.readLine().trimmed();
    const QByteArray port = line.mid(line.lastIndexOf(':') + 1);

    const QString station = dir.filePath(QStringLiteral("station"));
    QDir().mkpath(station);
    QDir::setCurrent(station);
    Answerer answerer;
    InputDispatcher::instance()->registerClient(&answerer);
    TcpClient &client = TcpClient::instance();
    qint32 error = 0;
    if (client.connectToServer(QStringLiteral("127.0.0.1"), QString::fromLatin1(port), &error) != 0)
        fail("the station cannot connect");
    for (int stations = 0, authenticated = 0; authenticated < 1;) {
        QString why;
        if (!ControlChannel::requestStatus(*ServerStore::controlKey(database, 0), &stations, &authenticated, &why))
            fail("no status from the server");
        pause1ms();
    }

    std::vector<double> push;
    std::vector<double> plain;
    for (int round = 0; round < rounds; ++round) {
        push.push_back(pushOnce(database, payload, size));
        if (round == 0 && !sameContent(payload, QStringLiteral("pushed.bin")))
            fail("the pushed file differs from the payload");
        plain.push_back(plainCopyOnce(payload, dir.filePath(QStringLiteral("plain.bin"))));
    }

    const double mb = double(size) / 1e6;
    std::printf("file push over loopback, %lld MiB, %d rounds (median, best)\n", mib, rounds);
    std::printf("  hazard-server push -> station file: %8.1f MB/s  %8.1f MB/s\n", mb / median(push),
                mb / *std::min_element(push.begin(), push.end()));
    std::printf("  plain TCP copy -> file:             %8.1f MB/s  %8.1f MB/s\n", mb / median(plain),
                mb / *std::min_element(plain.begin(), plain.end()));
    std::printf("  push / plain (medians): %.2f (goal >= 0.50)\n", median(plain) / median(push));

    client.close();
    server.terminate();
    server.waitForFinished(10000);
    return 0;
}
