// Opens an encrypted database through the SQLITECIPHER driver and says what
// happened. The driver test runs it with another SQLite library forced in
// front, which cannot be done inside the test process itself.
#include "SqlCipherDriver.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() != 3)
        return 2;
    SqlCipherDriver::registerDriver();
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName));
    db.setDatabaseName(args.at(1));
    db.setPassword(args.at(2));
    db.setConnectOptions(QLatin1String(SqlCipherDriver::readOnlyOption));
    if (!db.open()) {
        out << "refused: " << db.lastError().driverText() << ": " << db.lastError().databaseText() << "\n";
        return 1;
    }
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    query.next();
    out << "opened " << query.value(0).toInt() << "\n";
    return 0;
}
