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
    if (args.size() != 3) {
        out << "usage: sqlcipher_probe DATABASE PASSWORD\n";
        return 2;
    }
    SqlCipherDriver::registerDriver();
    int status = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName),
                                                    QStringLiteral("probe"));
        db.setDatabaseName(args.at(1));
        db.setPassword(args.at(2));
        db.setConnectOptions(QLatin1String(SqlCipherDriver::readOnlyOption));
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            query.next();
            out << "opened " << query.value(0).toInt() << "\n";
        } else {
            out << "refused: " << db.lastError().driverText() << ": "
                << db.lastError().databaseText() << "\n";
            status = 1;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    return status;
}
