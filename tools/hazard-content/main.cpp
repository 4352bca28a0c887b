// hazard-content: builds and checks the content packs that stations play.
#include "CommandRegistry.h"
#include "HazardVersion.h"
#include "PackBuilder.h"
#include "PackSecrets.h"
#include "PackVerifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

const char buildHelp[] =
    "Build a content pack: OUTDIR/ksm.db (the encrypted table `video`) and\n"
    "OUTDIR/videos/ (every clip with its first MiB RC4-enciphered), then print the\n"
    "five CMake values HAZARD_AUTH_SECRET, HAZARD_DB_SALT, HAZARD_DB_DIGEST,\n"
    "HAZARD_DB_PASSWORD and HAZARD_VIDEO_KEY that a station build needs to accept\n"
    "the pack. Salt, password and video key are taken from the options or freshly\n"
    "generated from a secure random source; the authentication secret, which pairs\n"
    "stations with their server and plays no part in the pack, is --auth-secret or\n"
    "this build's own. The pack is assembled beside OUTDIR and renamed into place\n"
    "only when complete.\n"
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
    "duration are numbered and measured with ffprobe when not given.";

const char verifyHelp[] =
    "Check a pack as a station built with the given values (by default this\n"
    "program's built-in ones) meets it: digest, password, situations per chapter\n"
    "against the examination's 2,1,2,1,2,2, and every video present, decryptable and\n"
    "as long as its row says. One line per finding; exit status 1 on any failure.";

QCommandLineOption hexOption(const char *name, const char *help)
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(help), QStringLiteral("hex"));
}

// The secrets both commands take; values given win over generated or
// built-in ones.
QList<QCommandLineOption> packSecretOptions()
{
    return {hexOption("salt", "Digest salt, 57 lowercase hex characters."),
            hexOption("password", "Database password, 38 lowercase hex characters."),
            hexOption("video-key", "RC4 video key, 32 lowercase hex characters.")};
}

void takeGivenSecrets(const QCommandLineParser &parser, PackSecrets *secrets)
{
    const QList<QPair<const char *, QString *>> given = {
        {"salt", &secrets->salt},         {"digest", &secrets->digest},         {"password", &secrets->password},
        {"video-key", &secrets->videoKey}, {"auth-secret", &secrets->authSecret},
    };
    for (const auto &option : given) {
        // Given on the command line; a command without the option never has it.
        if (parser.optionNames().contains(QLatin1String(option.first)))
            *option.second = parser.value(QLatin1String(option.first));
    }
}

Command build(CommandRegistry &registry)
{
    const QCommandLineOption replace(QStringLiteral("replace"), QStringLiteral("Replace the pack already in OUTDIR."));
    Command command;
    command.name = QStringLiteral("build");
    command.summary = QStringLiteral("build a pack from clips and a manifest");
    command.description = QString::fromUtf8(buildHelp);
    command.options = packSecretOptions()
        << hexOption("auth-secret", "Authentication secret to print with the pack's values, 57 lowercase hex "
                                    "characters.")
        << replace;
    command.arguments = {{QStringLiteral("MANIFEST"), QStringLiteral("The clips, as CSV.")},
                         {QStringLiteral("OUTDIR"), QStringLiteral("Where the pack goes.")}};
    command.run = [&registry, replace](const QCommandLineParser &parser) {
        PackSecrets secrets;
        if (!PackSecrets::generate(&secrets)) {
            registry.err() << "the secure random source failed\n";
            return 1;
        }
        takeGivenSecrets(parser, &secrets);
        const QStringList args = parser.positionalArguments();
        PackBuilder builder;
        builder.setSecrets(secrets);
        builder.setReplaceExisting(parser.isSet(replace));
        const bool built = builder.build(args.at(0), args.at(1));
        for (const QString &note : builder.notes())
            registry.out() << "note: " << note << '\n';
        if (!built) {
            for (const QString &error : builder.errors())
                registry.err() << "error: " << error << '\n';
            registry.err() << "no pack written\n";
            return 1;
        }
        registry.out() << "pack written to " << args.at(1) << ": " << builder.situationCount()
                       << " situations and the count-down clip\n";
        for (const QString &line : builder.secrets().cmakeLines())
            registry.out() << line << '\n';
        return 0;
    };
    return command;
}

Command verify(CommandRegistry &registry)
{
    Command command;
    command.name = QStringLiteral("verify");
    command.summary = QStringLiteral("check a pack as a station would meet it");
    command.description = QString::fromUtf8(verifyHelp);
    command.options = packSecretOptions()
        << hexOption("digest", "Expected salted digest, 32 lowercase hex characters.");
    command.arguments = {{QStringLiteral("OUTDIR"), QStringLiteral("The pack: ksm.db and videos/.")}};
    command.run = [&registry](const QCommandLineParser &parser) {
        PackSecrets secrets = PackSecrets::builtIn();
        takeGivenSecrets(parser, &secrets);
        PackVerifier verifier;
        verifier.setSecrets(secrets);
        const bool passed = verifier.verify(parser.positionalArguments().at(0));
        for (const QString &finding : verifier.findings())
            registry.out() << finding << '\n';
        registry.out() << (passed ? "pack verified\n" : "pack FAILED verification\n");
        return passed ? 0 : 1;
    };
    return command;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hazard-content"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HAZARD_VERSION));
    CommandRegistry registry(QStringLiteral("hazard-content"));
    registry.setDescription(QStringLiteral("Builds and checks content packs for hazard-station."));
    registry.setEpilogue(QStringLiteral("The manifest's format: hazard-content build --help\n"));
    registry.add(build(registry));
    registry.add(verify(registry));
    return registry.run(QCoreApplication::arguments());
}
