// hazard-walk: drives a running hazard-station from outside, as the demo
// does when there is no one at the screen, and makes up a stored result for
// the demo server.
//
//   hazard-walk sample-result FOLDER
//   hazard-walk shot FILE [--width N]
//   hazard-walk walk --pid PID --folder FOLDER [--shots DIR] [--shot-width N]
//                    [--refused NUMBER] [--exam NUMBER] [--review NUMBER]
#include "PackSituations.h"
#include "ScreenDriver.h"
#include "StationLook.h"
#include "StationWalk.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTextStream>

#include <memory>

namespace {

const char usage[] =
    "Usage:\n"
    "  hazard-walk sample-result FOLDER\n"
    "      Print the detail text of one examination on the content in FOLDER (ksm.db\n"
    "      and videos/), scored by the station's own rules, for hazard-server add-result.\n"
    "  hazard-walk shot FILE [--width N]\n"
    "      Save a picture of the whole display, scaled down to N pixels across.\n"
    "  hazard-walk walk --pid PID --folder FOLDER [options]\n"
    "      Walk the station with process id PID, working in FOLDER, through a refused\n"
    "      candidate, an examination and a review, with keys and clicks on its display.\n"
    "      --shots DIR        write screenshots of each stage there\n"
    "      --shot-width N     scale screenshots down to N pixels across\n"
    "      --refused NUMBER   a candidate number the server refuses (default 0004)\n"
    "      --exam NUMBER      a candidate ready for the examination (default 0001)\n"
    "      --review NUMBER    a candidate with a stored result (default 0002)\n";

int fail(const QString &text, int status = 1)
{
    QTextStream err(stderr);
    err.setCodec("UTF-8");
    err << "hazard-walk: " << text << "\n";
    return status;
}

int sampleResult(const QStringList &args)
{
    if (args.size() != 1)
        return fail(QString::fromLatin1(usage), 2);
    PackSituations pack;
    QString why;
    if (!pack.load(args.first(), &why))
        return fail(why);
    const QString detail = pack.sampleResult();
    if (detail.isEmpty())
        return fail(QStringLiteral("the content in %1 does not make up an examination").arg(args.first()));
    QTextStream(stdout) << detail << "\n";
    return 0;
}

int shot(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption width(QStringLiteral("width"), QString(), QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(width);
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 1)
        return fail(QString::fromLatin1(usage), 2);
    const QString path = parser.positionalArguments().first();
    if (!ScreenDriver().screenshot(path, parser.value(width).toInt()))
        return fail(QStringLiteral("cannot save a picture of the display to %1").arg(path));
    return 0;
}

int walk(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption pid(QStringLiteral("pid"), QString(), QStringLiteral("PID"));
    const QCommandLineOption folder(QStringLiteral("folder"), QString(), QStringLiteral("FOLDER"));
    const QCommandLineOption shots(QStringLiteral("shots"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption width(QStringLiteral("shot-width"), QString(), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption refused(QStringLiteral("refused"), QString(), QStringLiteral("NUMBER"),
                                     QStringLiteral("0004"));
    const QCommandLineOption exam(QStringLiteral("exam"), QString(), QStringLiteral("NUMBER"), QStringLiteral("0001"));
    const QCommandLineOption review(QStringLiteral("review"), QString(), QStringLiteral("NUMBER"),
                                    QStringLiteral("0002"));
    parser.addOptions({pid, folder, shots, width, refused, exam, review});
    if (!parser.parse(arguments) || !parser.isSet(pid) || !parser.isSet(folder)
        || !parser.positionalArguments().isEmpty())
        return fail(parser.errorText() + QLatin1Char('\n') + QString::fromLatin1(usage), 2);

    StationLook::install();
    PackSituations pack;
    QString why;
    if (!pack.load(parser.value(folder), &why))
        return fail(why);
    ScreenDriver screen;
    if (!screen.check(&why))
        return fail(why);
    StationWalk walk(parser.value(pid).toLongLong(), parser.value(folder), &pack, &screen);
    if (parser.isSet(shots)) {
        if (!QDir().mkpath(parser.value(shots)))
            return fail(QStringLiteral("cannot create %1").arg(parser.value(shots)));
        walk.setShotFolder(parser.value(shots), parser.value(width).toInt());
    }
    if (!walk.run({parser.value(refused), parser.value(exam), parser.value(review)}))
        return fail(walk.lastError());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == QLatin1String("sample-result")) {
        QCoreApplication app(argc, argv);
        // The content loader and the scoring talk on the debug log; the
        // detail text alone goes to standard output.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
        return sampleResult(QCoreApplication::arguments().mid(2));
    }
    if (command == QLatin1String("walk") || command == QLatin1String("shot")) {
        QApplication app(argc, argv);
        QStringList args = QCoreApplication::arguments();
        args.removeAt(1);
        return command == QLatin1String("walk") ? walk(args) : shot(args);
    }
    return fail(QString::fromLatin1(usage), command == QLatin1String("--help") ? 0 : 2);
}
