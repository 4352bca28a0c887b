// Stores the attempts named on the command line, then begins one more in a
// transaction of its own and kills itself before committing it: the state a
// learner's file is left in when the program dies during an attempt.
#include "ProgressStore.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    ProgressStore store;
    if (store.open(args.at(1)) != ProgressStore::Opened)
        return 3;
    for (int i = 2; i < args.size(); ++i) {
        ProgressStore::Attempt attempt;
        attempt.situationId = args.at(i).toInt();
        attempt.score = 3;
        attempt.flagTime = 1000;
        if (!store.recordAttempt(attempt))
            return 4;
    }
    QSqlDatabase db = QSqlDatabase::database(store.connectionName());
    db.transaction();
    QSqlQuery insert(db);
    if (!insert.exec(QStringLiteral("INSERT INTO attempt (situation, mode, flag_time, score, taken_at) "
                                     "VALUES (999, 0, 0, 5, '2024-01-01T00:00:00.000Z')")))
        return 5;
    std::puts("uncommitted");
    std::fflush(stdout);
    std::raise(SIGKILL);
    return 6;
}
