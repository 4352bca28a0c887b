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
#include "BenchStation.h"
#include "PgScratch.h"
#include "ServerCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int stationCount = 100;
constexpr int rounds = 3;
constexpr double goalMs = 250;
const QByteArray secret(57, 'b');

// The database with course K1 and the candidates every round needs, each
// with its number as its id.
bool prepare(const ServerCommand &command, const QString &folder)
{
    QByteArray csv = "number,course,class,pid,name,id\n";
    for (int n = 1; n <= rounds * stationCount; ++n)
        csv += QStringLiteral("%1,K1,2,0790%1,Thí sinh %1,%1\n").arg(n).toUtf8();
    QFile file(folder + QStringLiteral("/candidates.csv"));
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return false;
    file.close();
    for (const QStringList &args : {QStringList{"init"}, QStringList{"add-course", "K1", "Khóa 1"},
                                    QStringList{"import", file.fileName()}}) {
        QString err;
        if (command.run(args, nullptr, &err) != 0) {
            std::fprintf(stderr, "hazard-server %s: %s\n", qPrintable(args.join(QLatin1Char(' '))), qPrintable(err));
            return false;
        }
    }
    return true;
}

// Starts `serve`, its log in a file as an operator would keep it; the port
// it listens on, or 0.
quint16 serve(ServerCommand &command, const QString &folder, const QString &centre)
{
    return command.serve({"--listen", "127.0.0.1:0", "--secret", QString::fromLatin1(secret), "--centre", centre},
                         folder + QStringLiteral("/serve-%1.log").arg(centre));
}

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
    std::vector<std::unique_ptr<BenchStation>> stations;
    for (int i = 0; i < stationCount; ++i)
        stations.push_back(std::make_unique<BenchStation>(ports.at(i % ports.size()), secret));
    if (!BenchStation::waitUntil([&] {
            return std::all_of(stations.begin(), stations.end(), [](const auto &s) { return s->authenticated(); });
        }, 60000)) {
        figures.failure = QStringLiteral("stations not past the challenge within a minute");
        return figures;
    }
    std::vector<double> roundTrips;
    for (int round = 0; round < rounds; ++round) {
        const QString failure = BenchStation::examineRound(stations, 1 + round * stationCount, &roundTrips);
        if (!failure.isEmpty()) {
            figures.failure = failure + QStringLiteral(" in round %1").arg(round + 1);
            return figures;
        }
    }
    std::sort(roundTrips.begin(), roundTrips.end());
    figures.samples = int(roundTrips.size());
    figures.medianMs = roundTrips[roundTrips.size() / 2];
    figures.worstMs = roundTrips.back();
    return figures;
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
    // The servers' control sockets go to the bench's folder too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), dir.path());

    Figures shared;
    {
        PgScratch pg(true);
        if (!pg.start()) {
            std::fprintf(stderr, "cannot start a scratch PostgreSQL server: %s\n", qPrintable(pg.why()));
            return 1;
        }
        const QString url = pg.createDatabase(QStringLiteral("centres"));
        QProcessEnvironment withPassword = pg.environment();
        withPassword.insert(QStringLiteral("TMPDIR"), dir.path());
        ServerCommand command(url, dir.path(), withPassword);
        if (url.isEmpty() || !prepare(command, dir.path())) {
            std::fprintf(stderr, "cannot prepare the PostgreSQL database %s\n", qPrintable(pg.why()));
            return 1;
        }
        const quint16 portA = serve(command, dir.path(), QStringLiteral("A"));
        const quint16 portB = serve(command, dir.path(), QStringLiteral("B"));
        if (portA == 0 || portB == 0) {
            std::fprintf(stderr, "the servers on PostgreSQL did not start; see %s\n", qPrintable(dir.path()));
            dir.setAutoRemove(false);
            return 1;
        }
        shared = measure({portA, portB});
    }

    Figures single;
    {
        ServerCommand command(dir.filePath(QStringLiteral("server.db")), dir.path(), environment);
        quint16 port = 0;
        if (!prepare(command, dir.path()) || (port = serve(command, dir.path(), QStringLiteral("S"))) == 0) {
            std::fprintf(stderr, "the server on SQLite did not start\n");
            return 1;
        }
        single = measure({port});
    }

    std::printf("%d stations, %d rounds of simultaneous uploads; round trip of upload + course list, ms\n",
                stationCount, rounds);
    std::printf("  %-30s %8s %8s %8s\n", "", "median", "worst", "uploads");
    print("PostgreSQL, two servers", shared, true);
    print("SQLite, one server", single, false);
    return shared.failure.isEmpty() && single.failure.isEmpty() ? 0 : 1;
}
