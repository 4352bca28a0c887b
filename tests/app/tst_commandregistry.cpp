#include "CommandRegistry.h"

#include <QCommandLineParser>
#include <QtTest>

// A program of two commands whose runs record what they were given.
class TestCommandRegistry : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void generalHelpListsEveryCommand();
    void usage_data();
    void usage();
    void commandHelpRunsNothing();
    void sharedOptionBeforeTheCommandReachesIt();
    void commandOfSkipsLeadingOptionValues();
    void versionNamesTheProgram();

private:
    int run(const QStringList &args) { return m_registry->run(QStringList{QStringLiteral("prog")} + args); }

    QString m_out;
    QString m_err;
    QStringList m_ran; // "name db positionals..."
    QScopedPointer<CommandRegistry> m_registry;
};

void TestCommandRegistry::init()
{
    m_out.clear();
    m_err.clear();
    m_ran.clear();
    m_registry.reset(new CommandRegistry(QStringLiteral("prog"), &m_out, &m_err));
    m_registry->setDescription(QStringLiteral("Keeps things."));
    m_registry->setEpilogue(QStringLiteral("States: ready, done.\n"));
    m_registry->addSharedOption(QCommandLineOption(QStringLiteral("db"), QStringLiteral("The store."),
                                                   QStringLiteral("PATH"), QStringLiteral("default.db")));
    auto recorder = [this](const QString &name, int status) {
        return [this, name, status](const QCommandLineParser &parser) {
            m_ran << (QStringList{name, parser.value(QStringLiteral("db"))} + parser.positionalArguments())
                         .join(QLatin1Char(' '));
            return status;
        };
    };
    Command add;
    add.name = QStringLiteral("add");
    add.summary = QStringLiteral("add a thing");
    add.description = QStringLiteral("Adds one thing to the store.");
    add.arguments = {{QStringLiteral("CODE"), QStringLiteral("Its code.")},
                     {QStringLiteral("NAME"), QStringLiteral("Its name.")}};
    add.run = recorder(QStringLiteral("add"), 0);
    m_registry->add(add);
    Command print;
    print.name = QStringLiteral("print");
    print.summary = QStringLiteral("print the things");
    print.options = {QCommandLineOption(QStringLiteral("out"), QStringLiteral("The file."), QStringLiteral("FILE")),
                     QCommandLineOption(QStringLiteral("csv"), QStringLiteral("As CSV."))};
    print.required = QStringList{QStringLiteral("out")};
    print.run = recorder(QStringLiteral("print"), 1);
    m_registry->add(print);
}

void TestCommandRegistry::generalHelpListsEveryCommand()
{
    for (const QString &option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        m_out.clear();
        QCOMPARE(run({option}), 0);
        QCOMPARE(m_out, m_registry->generalHelp());
    }
    QVERIFY(m_ran.isEmpty());
    const QStringList lines = m_out.split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("Usage: prog [--db <PATH>] COMMAND [options]"));
    // Each command with what it takes, so that the list shows how to call
    // it; a long synopsis has its summary on the next line.
    auto listed = [&](const QString &synopsis, const QString &summary) {
        for (int i = 0; i + 1 < lines.size(); ++i) {
            const QString head = QStringLiteral("  ") + synopsis;
            if ((lines.at(i).startsWith(head + QLatin1Char(' ')) && lines.at(i).endsWith(summary))
                || (lines.at(i) == head && lines.at(i + 1).trimmed() == summary))
                return true;
        }
        return false;
    };
    QVERIFY2(listed(QStringLiteral("add CODE NAME"), QStringLiteral("add a thing")), qPrintable(m_out));
    QVERIFY2(listed(QStringLiteral("print --out FILE [options]"), QStringLiteral("print the things")),
             qPrintable(m_out));
    QVERIFY2(listed(QStringLiteral("--db <PATH>"), QStringLiteral("The store.")), qPrintable(m_out));
    QVERIFY(m_out.contains(QLatin1String("Keeps things.")) && m_out.endsWith(QLatin1String("States: ready, done.\n")));
}

void TestCommandRegistry::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::newRow("no command") << QStringList() << 2 << "Usage: prog [--db <PATH>] COMMAND";
    QTest::newRow("unknown command") << QStringList{"frob"} << 2 << "prog: unknown command frob; see: prog --help\n";
    QTest::newRow("unknown leading option") << QStringList{"--out", "x", "print"} << 2
                                            << "prog: unknown option --out; see: prog --help\n";
    QTest::newRow("shared option without its value") << QStringList{"--db"} << 2 << "prog: unknown option --db";
    QTest::newRow("unknown option") << QStringList{"add", "--nope", "a", "b"} << 2 << "prog: Unknown option 'nope'.";
    QTest::newRow("too few arguments") << QStringList{"add", "a"} << 2
                                       << "prog: add takes 2 argument(s); see: prog add --help\n";
    QTest::newRow("too many arguments") << QStringList{"print", "--out", "f", "x"} << 2
                                        << "prog: print takes 0 argument(s)";
    QTest::newRow("required option missing") << QStringList{"print", "--csv"} << 2 << "prog: print needs --out\n";
    QTest::newRow("the command's status") << QStringList{"print", "--out", "f"} << 1 << "";
}

void TestCommandRegistry::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    QCOMPARE(run(args), status);
    QVERIFY2(err.isEmpty() ? m_err.isEmpty() : m_err.startsWith(err), qPrintable(m_err));
    QCOMPARE(m_out, QString());
    // Only a sound command line runs anything.
    QCOMPARE(m_ran.size(), status == 1 ? 1 : 0);
}

void TestCommandRegistry::commandHelpRunsNothing()
{
    // Help wins over what else is wrong with the line.
    QCOMPARE(run({"add", "--help"}), 0);
    QVERIFY2(m_out.startsWith(QLatin1String("Usage: prog add [options] CODE NAME\nAdds one thing to the store.")),
             qPrintable(m_out));
    for (const char *word : {"--db <PATH>", "The store.", "CODE", "Its code.", "NAME"})
        QVERIFY2(m_out.contains(QLatin1String(word)), word);
    m_out.clear();
    QCOMPARE(run({"print", "-h"}), 0);
    QVERIFY2(m_out.startsWith(QLatin1String("Usage: prog print [options]")) && m_out.contains("--out <FILE>"),
             qPrintable(m_out));
    QVERIFY(m_ran.isEmpty() && m_err.isEmpty());
}

void TestCommandRegistry::sharedOptionBeforeTheCommandReachesIt()
{
    QCOMPARE(run({"add", "a", "b"}), 0);
    QCOMPARE(run({"--db", "x.db", "add", "a", "b"}), 0);
    QCOMPARE(run({"--db=y.db", "add", "a", "b"}), 0);
    QCOMPARE(run({"--db", "x.db", "add", "--db", "z.db", "a", "b"}), 0);
    QCOMPARE(m_ran, (QStringList{"add default.db a b", "add x.db a b", "add y.db a b", "add z.db a b"}));
}

void TestCommandRegistry::commandOfSkipsLeadingOptionValues()
{
    const QList<QCommandLineOption> leading{
        QCommandLineOption(QStringLiteral("db"), QString(), QStringLiteral("PATH"))};
    QCOMPARE(CommandRegistry::commandOf({"prog", "--db", "sheet", "serve"}, leading), QStringLiteral("serve"));
    QCOMPARE(CommandRegistry::commandOf({"prog", "--db=sheet", "serve"}, leading), QStringLiteral("serve"));
    QCOMPARE(CommandRegistry::commandOf({"prog", "--db", "sheet", "serve"}), QStringLiteral("sheet"));
    QCOMPARE(CommandRegistry::commandOf({"prog", "--help"}, leading), QString());
}

void TestCommandRegistry::versionNamesTheProgram()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("7.8.9"));
    QCOMPARE(run({"--version"}), 0);
    QCOMPARE(m_out, QStringLiteral("prog 7.8.9\n"));
    QVERIFY(m_ran.isEmpty());
    QVERIFY(m_registry->generalHelp().contains(QLatin1String("--version")));
}

QTEST_GUILESS_MAIN(TestCommandRegistry)
#include "tst_commandregistry.moc"
