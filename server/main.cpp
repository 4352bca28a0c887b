#include "ResultSheet.h"
#include "HazardVersion.h"
#include "ServerCli.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Only the result sheets paint, and painting needs a QGuiApplication; on
    // the offscreen platform it needs no display. Every other command stays
    // a plain console program.
    std::unique_ptr<QCoreApplication> app;
    if (ServerCli::commandOf(arguments) == QLatin1String("sheet")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.reset(new QGuiApplication(argc, argv));
    } else {
        app.reset(new QCoreApplication(argc, argv));
    }
    QCoreApplication::setApplicationName(QStringLiteral("hazard-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HAZARD_VERSION));
    ServerCli cli;
    cli.setSheetWriter([](const QList<SheetPage> &pages, const QString &path, QString *why) {
        return ResultSheet().write(pages, path, why);
    });
    return cli.run(QCoreApplication::arguments());
}
