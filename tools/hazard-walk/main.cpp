// hazard-walk: drives a running hazard-station from outside, as the demo
// does when there is no one at the screen, and makes up a stored result for
// the demo server.
#include "CommandRegistry.h"
#include "HazardVersion.h"
#include "PackSituations.h"
#include "PracticeWalk.h"
#include "ScreenDriver.h"
#include "StationLook.h"
#include "StationWalk.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>

#include <memory>

namespace {

Command sampleResult(CommandRegistry &registry)
{
    Command command;
    command.name = QStringLiteral("sample-result");
    command.summary = QStringLiteral("print a scored examination on the content, for hazard-server add-result");
    command.description = QStringLiteral(
        "Print the detail text of one examination on the content in FOLDER (ksm.db\n"
        "and videos/), scored by the station's own rules, for hazard-server add-result.");
    command.arguments = {{QStringLiteral("FOLDER"), QStringLiteral("The station's content: ksm.db and videos/.")}};
    command.run = [&registry](const QCommandLineParser &parser) {
        // The content loader and the scoring talk on the debug log; the
        // detail text alone goes to standard output.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
        const QString folder = parser.positionalArguments().first();
        PackSituations pack;
        QString why;
        if (!pack.load(folder, &why))
            return registry.failure(why);
        const QString detail = pack.sampleResult();
        if (detail.isEmpty())
            return registry.failure(
                QStringLiteral("the content in %1 does not make up an examination").arg(folder));
        registry.out() << detail << "\n";
        return 0;
    };
    return command;
}

Command shot(CommandRegistry &registry)
{
    const QCommandLineOption width(QStringLiteral("width"),
                                   QStringLiteral("Scale the picture down to N pixels across."), QStringLiteral("N"),
                                   QStringLiteral("0"));
    Command command;
    command.name = QStringLiteral("shot");
    command.summary = QStringLiteral("save a picture of the whole display");
    command.description = QStringLiteral("Save a picture of the whole display, scaled down to N pixels across.");
    command.options = {width};
    command.arguments = {{QStringLiteral("FILE"), QStringLiteral("The picture to write.")}};
    command.run = [&registry, width](const QCommandLineParser &parser) {
        const QString path = parser.positionalArguments().first();
        if (!ScreenDriver().screenshot(path, parser.value(width).toInt()))
            return registry.failure(QStringLiteral("cannot save a picture of the display to %1").arg(path));
        return 0;
    };
    return command;
}

Command walk(CommandRegistry &registry)
{
    const QCommandLineOption pid(QStringLiteral("pid"), QStringLiteral("The station's process id."),
                                 QStringLiteral("PID"));
    const QCommandLineOption folder(QStringLiteral("folder"), QStringLiteral("The station's working folder."),
                                    QStringLiteral("FOLDER"));
    const QCommandLineOption shots(QStringLiteral("shots"), QStringLiteral("Write screenshots of each stage there."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption width(QStringLiteral("shot-width"),
                                   QStringLiteral("Scale screenshots down to N pixels across."), QStringLiteral("N"),
                                   QStringLiteral("0"));
    const QCommandLineOption refused(QStringLiteral("refused"),
                                     QStringLiteral("A candidate number the server refuses (default 0004)."),
                                     QStringLiteral("NUMBER"), QStringLiteral("0004"));
    const QCommandLineOption exam(QStringLiteral("exam"),
                                  QStringLiteral("A candidate ready for the examination (default 0001)."),
                                  QStringLiteral("NUMBER"), QStringLiteral("0001"));
    const QCommandLineOption review(QStringLiteral("review"),
                                    QStringLiteral("A candidate with a stored result (default 0002)."),
                                    QStringLiteral("NUMBER"), QStringLiteral("0002"));
    Command command;
    command.name = QStringLiteral("walk");
    command.summary = QStringLiteral("walk a running station through a refusal, an examination and a review");
    command.description = QStringLiteral(
        "Walk the station with process id PID, working in FOLDER, through a refused\n"
        "candidate, an examination and a review, with keys and clicks on its display.");
    command.options = {pid, folder, shots, width, refused, exam, review};
    command.required = QStringList{QStringLiteral("pid"), QStringLiteral("folder")};
    command.run = [&registry, pid, folder, shots, width, refused, exam, review](const QCommandLineParser &parser) {
        StationLook::install();
        PackSituations pack;
        QString why;
        if (!pack.load(parser.value(folder), &why))
            return registry.failure(why);
        ScreenDriver screen;
        if (!screen.check(&why))
            return registry.failure(why);
        StationWalk walk(parser.value(pid).toLongLong(), parser.value(folder), &pack, &screen);
        if (parser.isSet(shots)) {
            if (!QDir().mkpath(parser.value(shots)))
                return registry.failure(QStringLiteral("cannot create %1").arg(parser.value(shots)));
            walk.setShotFolder(parser.value(shots), parser.value(width).toInt());
        }
        if (!walk.run({parser.value(refused), parser.value(exam), parser.value(review)}))
            return registry.failure(walk.lastError());
        return 0;
    };
    return command;
}

Command practice(CommandRegistry &registry)
{
    const QCommandLineOption pid(QStringLiteral("pid"), QStringLiteral("The practice program's process id."),
                                 QStringLiteral("PID"));
    const QCommandLineOption pack(QStringLiteral("pack"), QStringLiteral("The content it runs on: ksm.db and videos/."),
                                  QStringLiteral("FOLDER"));
    const QCommandLineOption scratch(QStringLiteral("scratch"),
                                     QStringLiteral("The folder it decrypts the clips into."), QStringLiteral("DIR"));
    const QCommandLineOption chapter(QStringLiteral("chapter"), QStringLiteral("The chapter to walk (default 1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption shots(QStringLiteral("shots"), QStringLiteral("Write screenshots there."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption width(QStringLiteral("shot-width"),
                                   QStringLiteral("Scale screenshots down to N pixels across."), QStringLiteral("N"),
                                   QStringLiteral("0"));
    Command command;
    command.name = QStringLiteral("practice");
    command.summary = QStringLiteral("walk a running hazard-practice through one chapter and its statistics");
    command.description = QStringLiteral(
        "Walk the practice program with process id PID, on the content in FOLDER,\n"
        "through one chapter in order and then its statistics page, with keys on its\n"
        "display.");
    command.options = {pid, pack, scratch, chapter, shots, width};
    command.required = QStringList{QStringLiteral("pid"), QStringLiteral("pack"), QStringLiteral("scratch")};
    command.run = [&registry, pid, pack, scratch, chapter, shots, width](const QCommandLineParser &parser) {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
        PackSituations situations;
        QString why;
        if (!situations.load(parser.value(pack), &why))
            return registry.failure(why);
        ScreenDriver screen;
        if (!screen.check(&why))
            return registry.failure(why);
        PracticeWalk walk(parser.value(pid).toLongLong(), parser.value(scratch), &situations, &screen);
        if (parser.isSet(shots)) {
            if (!QDir().mkpath(parser.value(shots)))
                return registry.failure(QStringLiteral("cannot create %1").arg(parser.value(shots)));
            walk.setShotFolder(parser.value(shots), parser.value(width).toInt());
        }
        if (!walk.run(parser.value(chapter).toInt() - 1))
            return registry.failure(walk.lastError());
        return 0;
    };
    return command;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Only the commands that look at the display need widgets.
    const QString command = CommandRegistry::commandOf(arguments);
    std::unique_ptr<QCoreApplication> app;
    if (command == QLatin1String("walk") || command == QLatin1String("shot") || command == QLatin1String("practice"))
        app.reset(new QApplication(argc, argv));
    else
        app.reset(new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationVersion(QStringLiteral(HAZARD_VERSION));
    CommandRegistry registry(QStringLiteral("hazard-walk"));
    registry.setDescription(QStringLiteral("Drives a running hazard-station from outside, as the demo does when\n"
                                           "there is no one at the screen, and makes up a stored result for the\n"
                                           "demo server."));
    registry.add(sampleResult(registry));
    registry.add(shot(registry));
    registry.add(walk(registry));
    registry.add(practice(registry));
    return registry.run(QCoreApplication::arguments());
}
