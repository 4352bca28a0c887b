// hazard-content: builds and checks the content packs that stations play.
#include "PackBuilder.h"
#include "PackSecrets.h"
#include "PackVerifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

const char description[] =
    "Builds and checks content packs for hazard-station.\n"
    "\n"
    "  hazard-content build [options] MANIFEST OUTDIR\n"
    "  hazard-content verify [options] OUTDIR\n"
    "\n"
    "build writes OUTDIR/ksm.db (the encrypted table `video`) and OUTDIR/videos/\n"
    "(every clip with its first MiB RC4-enciphered), then prints the five CMake values\n"
    "HAZARD_AUTH_SECRET, HAZARD_DB_SALT, HAZARD_DB_DIGEST, HAZARD_DB_PASSWORD and\n"
    "HAZARD_VIDEO_KEY that a station build needs to accept the pack. Salt, password\n"
    "and video key are taken from the options or freshly generated from a secure\n"
    "random source; the authentication secret, which pairs stations with their\n"
    "server and plays no part in the pack, is --auth-secret or this build's own. The pack is\n"
    "assembled beside OUTDIR and renamed into place only when complete.\n"
    "\n"
    "MANIFEST is CSV, one clip per line:\n"
    "  file,chapter,th,danger_start,danger_end[,id[,duration_ms]]\n"
    "An optional first line starting with \"file\" is a header; blank lines and lines\n"
    "starting with # are ignored. file is an mp4, relative to the manifest's folder.\n"
    "chapter is 1 to 6; chapter 0 marks the count-down clip (exactly one; its other\n"
    "fields may be empty or 0). th orders the situations of a chapter and is shown as\n"
    "the situation's number. Danger times are milliseconds (e.g. 5500) or time codes\n"
    "mm:ss:ff with ff in sixtieths of a second (e.g. 00:05:30 = 5500 ms). Stations\n"
    "read a code as sixtieths * 50 / 3 truncated, so a time in milliseconds is stored\n"
    "as the first code that reaches it and the difference is reported. id and\n"
    "duration are numbered and measured with ffprobe when not given.\n"
    "\n"
    "verify checks a pack as a station built with the given values (by default this\n"
    "program's built-in ones) meets it: digest, password, situations per chapter\n"
    "against the examination's 2,1,2,1,2,2, and every video present, decryptable and\n"
    "as long as its row says. One line per finding; exit status 1 on any failure.";

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hazard-content"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("build or verify"));
    const QCommandLineOption saltOption(QStringLiteral("salt"),
        QStringLiteral("Digest salt, 57 lowercase hex characters."), QStringLiteral("hex"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
        QStringLiteral("Database password, 38 lowercase hex characters."), QStringLiteral("hex"));
    const QCommandLineOption keyOption(QStringLiteral("video-key"),
        QStringLiteral("RC4 video key, 32 lowercase hex characters."), QStringLiteral("hex"));
    const QCommandLineOption digestOption(QStringLiteral("digest"),
        QStringLiteral("verify: expected salted digest, 32 lowercase hex characters."),
        QStringLiteral("hex"));
    const QCommandLineOption authOption(QStringLiteral("auth-secret"),
        QStringLiteral("build: authentication secret to print with the pack's values, 57 lowercase hex characters."),
        QStringLiteral("hex"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"),
        QStringLiteral("build: replace the pack already in OUTDIR."));
    parser.addOptions({saltOption, passwordOption, keyOption, digestOption, authOption, replaceOption});
    parser.process(app);

    // Values given on the command line win over generated or built-in ones.
    auto takeGivenSecrets = [&](PackSecrets *secrets) {
        const QList<QPair<const QCommandLineOption *, QString *>> given = {
            {&saltOption, &secrets->salt},          {&digestOption, &secrets->digest},
            {&passwordOption, &secrets->password},  {&keyOption, &secrets->videoKey},
            {&authOption, &secrets->authSecret},
        };
        for (const auto &option : given) {
            if (parser.isSet(*option.first))
                *option.second = parser.value(*option.first);
        }
    };

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);

    if (command == QLatin1String("build") && args.size() == 3) {
        if (parser.isSet(digestOption)) {
            err() << "build computes the digest; --digest is for verify\n";
            return 2;
        }
        PackSecrets secrets;
        if (!PackSecrets::generate(&secrets)) {
            err() << "the secure random source failed\n";
            return 1;
        }
        takeGivenSecrets(&secrets);

        PackBuilder builder;
        builder.setSecrets(secrets);
        builder.setReplaceExisting(parser.isSet(replaceOption));
        const bool built = builder.build(args.at(1), args.at(2));
        const QStringList notes = builder.notes();
        for (const QString &note : notes)
            out() << "note: " << note << '\n';
        if (!built) {
            const QStringList errors = builder.errors();
            for (const QString &error : errors)
                err() << "error: " << error << '\n';
            err() << "no pack written\n";
            return 1;
        }
        out() << "pack written to " << args.at(2) << ": " << builder.situationCount()
              << " situations and the count-down clip\n";
        const QStringList lines = builder.secrets().cmakeLines();
        for (const QString &line : lines)
            out() << line << '\n';
        return 0;
    }

    if (command == QLatin1String("verify") && args.size() == 2) {
        if (parser.isSet(replaceOption)) {
            err() << "--replace is for build\n";
            return 2;
        }
        PackSecrets secrets = PackSecrets::builtIn();
        takeGivenSecrets(&secrets);

        PackVerifier verifier;
        verifier.setSecrets(secrets);
        const bool passed = verifier.verify(args.at(1));
        const QStringList findings = verifier.findings();
        for (const QString &finding : findings)
            out() << finding << '\n';
        out() << (passed ? "pack verified\n" : "pack FAILED verification\n");
        return passed ? 0 : 1;
    }

    err() << "usage: hazard-content build [options] MANIFEST OUTDIR\n"
             "       hazard-content verify [options] OUTDIR\n"
             "       hazard-content --help\n";
    return 2;
}
