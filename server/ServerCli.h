#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

class QCommandLineParser;
class ServerStore;
struct CandidateRecord;
struct SheetPage;

// The hazard-server command line: one operator command per invocation.
// Returns the process exit status; nothing here ends the process itself.
class ServerCli
{
public:
    ServerCli();

    // arguments[0] is the program name.
    int run(const QStringList &arguments);
    // The command run() would run, or an empty text; lets main() choose the
    // application object before there is one.
    static QString commandOf(const QStringList &arguments);

    // Paints the result sheets into a file; false with the reason. The
    // painting lives outside this library, which stays free of QtGui.
    using SheetWriter = std::function<bool(const QList<SheetPage> &pages, const QString &path, QString *why)>;
    void setSheetWriter(const SheetWriter &writer) { m_sheetWriter = writer; }

private:
    int init(const QStringList &args);
    int addCourse(const QStringList &args);
    int addCandidate(const QStringList &args);
    int setState(const QStringList &args);
    int import(const QStringList &args);
    int addResult(const QStringList &args);
    int candidates(const QStringList &args);
    int results(const QStringList &args);
    int serve(const QStringList &args);
    int push(const QStringList &args);
    int status(const QStringList &args);
    int sheet(const QStringList &args);

    // Parses a command's arguments with the options every command shares;
    // 0 to go on, otherwise the exit status (help shown or bad usage).
    int parse(QCommandLineParser &parser, const QStringList &args, const QString &command,
              const QString &description, int positionals);
    bool openStore(ServerStore &store);
    // What names a running server's control socket: the SQLite file, or a
    // shared database and the server's port.
    static QString controlKey(const QString &database, quint16 port);
    // false after a usage error.
    bool controlKeyFor(const QCommandLineParser &parser, QString *key);
    // Reports a candidate that cannot be read or is not in the course.
    bool findCandidate(ServerStore &store, const QString &course, const QString &number,
                       CandidateRecord *candidate);
    // Reports on standard error; the exit status for a failed command.
    int failure(const QString &text);
    int usageError(const QString &text);
    QString generalHelp() const;

    QTextStream m_out;
    QTextStream m_err;
    QString m_db;
    SheetWriter m_sheetWriter;
};
