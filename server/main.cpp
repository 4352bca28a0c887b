#include "ServerCli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hazard-server"));
    ServerCli cli;
    return cli.run(QCoreApplication::arguments());
}
