#pragma once

#include "ServerSettings.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QTextStream>

#include <functional>

class CommandRegistry;
class QCommandLineParser;
class ServerStore;
struct CandidateRecord;
struct SheetPage;

// What the hazard-server commands share: where they write, the database
// they name and how it is opened, and the help texts several of them show.
class ServerCommandContext
{
public:
    // Paints the result sheets into a file; false with the reason. The
    // painting lives outside this library, which stays free of QtGui.
    using SheetWriter = std::function<bool(const QList<SheetPage> &pages, const QString &path, QString *why)>;

    explicit ServerCommandContext(CommandRegistry &registry);

    static const char *defaultDatabase();
    // --db, which every command takes.
    static QCommandLineOption databaseOption();
    // The candidate states and what a station is answered in each.
    static QString statesHelp();
    static QString licenceHelp();
    static QString unknownState(const QString &name);

    QTextStream &out();
    QTextStream &err();
    // Report on standard error; the exit status of a failed command (1) or
    // of a usage error (2).
    int failure(const QString &text);
    int usageError(const QString &text);

    // The settings file's defaults under the command line's options.
    ServerSettings &settings() { return m_settings; }
    // The option's value when given, else the settings file's KEY, else the
    // option's own default.
    QString valueOr(const QCommandLineParser &parser, const QCommandLineOption &option, const QString &key) const;

    // The database the command names, or the settings file's, or the
    // default one.
    QString database(const QCommandLineParser &parser) const;
    // Opens the command's database, which must exist; reports a failure.
    bool openStore(const QCommandLineParser &parser, ServerStore &store);
    // Reports a candidate that cannot be read or is not in the course.
    bool findCandidate(ServerStore &store, const QString &course, const QString &number,
                       CandidateRecord *candidate);

    SheetWriter sheetWriter;

private:
    CommandRegistry &m_registry;
    ServerSettings m_settings;
};
