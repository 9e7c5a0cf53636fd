// The viewer's command line: parsed arguments, and the program's answers to --help, --version
// and a wrong option (which need no display).
#include "app/command_line.h"

#include <QProcess>
#include <QtTest>

using namespace velmora;

Q_DECLARE_METATYPE(CommandLine::Action)

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("unknown");
        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList {} << A::Run << QStringList {} << "";
        QTest::newRow("paths") << QStringList { "/a", "b.dcm", "-" } << A::Run
                               << QStringList { "/a", "b.dcm", "-" } << "";
        QTest::newRow("help") << QStringList { "x", "--help", "--bogus" } << A::Help << QStringList { "x" }
                              << "";
        QTest::newRow("short help") << QStringList { "-h" } << A::Help << QStringList {} << "";
        QTest::newRow("version") << QStringList { "--version" } << A::Version << QStringList {} << "";
        QTest::newRow("unknown long")
            << QStringList { "a", "--bogus" } << A::WrongUsage << QStringList { "a" } << "--bogus";
        QTest::newRow("unknown short") << QStringList { "-x" } << A::WrongUsage << QStringList {} << "-x";
        QTest::newRow("after --") << QStringList { "--", "--help", "-x" } << A::Run
                                  << QStringList { "--help", "-x" } << "";
    }

    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(CommandLine::Action, action);
        QFETCH(QStringList, paths);
        QFETCH(QString, unknown);
        std::vector<std::string> storage { "velmora" };
        for (const QString& arg : args)
            storage.push_back(arg.toStdString());
        std::vector<const char*> argv;
        for (const std::string& arg : storage)
            argv.push_back(arg.c_str());
        const CommandLine line = ParseCommandLine(int(argv.size()), argv.data());
        QCOMPARE(line.action, action);
        QStringList got;
        for (const std::string& path : line.paths)
            got << QString::fromStdString(path);
        QCOMPARE(got, paths);
        QCOMPARE(QString::fromStdString(line.unknownOption), unknown);
    }

    // Qt's options, one dash or two, with their values, go to Qt; the paths around them stay ours.
    void qtOptionsGoToQt()
    {
        const char* argv[] = { "velmora", "-platform", "offscreen", "/a", "--style=fusion", "-session",
            "1a2b", "-reverse", "b.dcm", "--", "-style" };
        const CommandLine line = ParseCommandLine(11, argv);
        QCOMPARE(line.action, CommandLine::Action::Run);
        QCOMPARE(line.paths, (std::vector<std::string> { "/a", "b.dcm", "-style" }));
        QCOMPARE(line.qtArguments,
            (std::vector<std::string> {
                "-platform", "offscreen", "--style=fusion", "-session", "1a2b", "-reverse" }));

        const char* missing[] = { "velmora", "/a", "-platform" };
        const CommandLine cut = ParseCommandLine(3, missing);
        QCOMPARE(cut.action, CommandLine::Action::WrongUsage);
        QCOMPARE(cut.unknownOption, std::string("-platform"));
    }

    void namesThatAreNotUtf8StayBytes()
    {
        const char* argv[] = { "velmora", "/scans/M\xfcller" };
        QCOMPARE(ParseCommandLine(2, argv).paths, std::vector<std::string> { "/scans/M\xfcller" });
    }

    void theProgramAnswers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList { "--help" } << 0
                              << "usage: velmora [--help] [--version] [--] [PATH...]\n"
                              << "";
        QTest::newRow("version") << QStringList { "--version" } << 0 << "velmora " VELMORA_VERSION "\n"
                                 << "";
        QTest::newRow("wrong option") << QStringList { "/tmp", "--frobnicate" } << 2 << ""
                                      << "velmora: unknown option --frobnicate\n"
                                         "usage: velmora [--help] [--version] [--] [PATH...]\n";
    }

    void theProgramAnswers()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.remove("QT_QPA_PLATFORM");
        program.setProcessEnvironment(environment);
        program.start(VELMORA_PROGRAM, args);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString stdoutText = QString::fromUtf8(program.readAllStandardOutput());
        QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.startsWith(out), qPrintable(stdoutText));
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), err);
    }
};

QTEST_MAIN(CommandLineTest)
#include "command_line_qtest.moc"
