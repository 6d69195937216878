#include "appbase/NVSLogController.h"
#include "cgsim/CGServerSimulator.h"
#include "cli/CliApplication.h"
#include "platform/ConsoleWriter.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

using cli::parseCommandLine;

// Global options count before and after the subcommand; default values are read as JSON when
// they parse and as text otherwise.
TEST(CommandLineParsing, TakesGlobalOptionsAndDefaultsBeforeOrAfterTheSubcommand) {
    const auto parsed = parseCommandLine(
        {QStringLiteral("--verbose"), QStringLiteral("--default"), QStringLiteral("CGServerPortNumber=2002"),
         QStringLiteral("refresh"), QStringLiteral("doc.graflink"), QStringLiteral("--log-level"),
         QStringLiteral("3"), QStringLiteral("--json"), QStringLiteral("--log-folder=/tmp/logs"),
         QStringLiteral("--default"), QStringLiteral("CGServerIPAddress=10.0.0.5"),
         QStringLiteral("--default=ignoreWebSocketsPingPongErrors=true"), QStringLiteral("--default"),
         QStringLiteral("Paths=[\"a\",\"b\"]"), QStringLiteral("--default"),
         QStringLiteral("Text=\"=quoted=\"")});
    ASSERT_FALSE(parsed.error);
    EXPECT_EQ(parsed.subcommand, QStringLiteral("refresh"));
    EXPECT_EQ(parsed.arguments, QStringList({QStringLiteral("doc.graflink"), QStringLiteral("--json")}));
    EXPECT_TRUE(parsed.global.verbose);
    EXPECT_EQ(parsed.global.logLevel, 3);
    EXPECT_EQ(parsed.global.logFolder, QStringLiteral("/tmp/logs"));
    ASSERT_EQ(parsed.global.defaults.size(), 5);
    EXPECT_EQ(parsed.global.defaults[0].second.toInt(), 2002);
    EXPECT_EQ(parsed.global.defaults[1].second, QVariant(QStringLiteral("10.0.0.5")));
    EXPECT_EQ(parsed.global.defaults[2].second.typeId(), QMetaType::Bool);
    EXPECT_EQ(parsed.global.defaults[3].second.toStringList(),
              QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(parsed.global.defaults[4].first, QStringLiteral("Text"));
    EXPECT_EQ(parsed.global.defaults[4].second, QVariant(QStringLiteral("=quoted=")));
}

TEST(CommandLineParsing, RejectsUnusableCommandLines) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--log-level"), QStringLiteral("high"), QStringLiteral("run")},
          QStringList{QStringLiteral("run"), QStringLiteral("--log-level")},
          QStringList{QStringLiteral("--default"), QStringLiteral("novalue"), QStringLiteral("run")},
          QStringList{QStringLiteral("--frobnicate")},
          QStringList{QStringLiteral("--verbose"), QStringLiteral("--quiet"), QStringLiteral("run")}}) {
        EXPECT_TRUE(parseCommandLine(arguments).error) << arguments.join(QLatin1Char(' ')).toStdString();
    }
    // After "--" everything belongs to the subcommand.
    const auto literal =
        parseCommandLine({QStringLiteral("csv"), QStringLiteral("--"), QStringLiteral("--verbose")});
    EXPECT_FALSE(literal.error);
    EXPECT_FALSE(literal.global.verbose);
    EXPECT_EQ(literal.arguments, QStringList{QStringLiteral("--verbose")});
}

/// A subcommand that logs what it is given, as real subcommands report their work.
class EchoCommand : public cli::CliCommand {
  public:
    QString name() const override { return QStringLiteral("echo"); }
    QString summary() const override { return QStringLiteral("logs its arguments"); }
    QString help() const override { return QStringLiteral("Usage: graflink-cli echo TEXT...\n"); }
    int run(cli::CliContext& context, const QStringList& arguments) override {
        seenLevel = context.defaults.integerForKey(NVSLogController::TechnicalLogLevelKey);
        seenPort = context.defaults.objectForKey(QStringLiteral("CGServerPortNumber"));
        context.logger.logMessage(arguments.join(QLatin1Char(' ')), 3, false);
        context.logger.logMessage(QStringLiteral("shown to the operator"), 1, true);
        context.out << "done\n";
        return arguments.isEmpty() ? cli::Failure : cli::Success;
    }
    qint64 seenLevel = -1;
    QVariant seenPort;
};

TEST(CliApplicationRun, ComposesDefaultsAndTheTechnicalLogForItsSubcommand) {
    QTemporaryDir logs;
    QString outText, errText;
    QTextStream out(&outText);
    platform::ConsoleWriter err([&errText](const QByteArray& bytes) { errText += QString::fromUtf8(bytes); });
    cli::CliApplication application(out, err);
    auto command = std::make_unique<EchoCommand>();
    EchoCommand* echo = command.get();
    application.registerCommand(std::move(command));

    const int status =
        application.run({QStringLiteral("echo"), QStringLiteral("hello"), QStringLiteral("world"),
                         QStringLiteral("--log-level"), QStringLiteral("3"), QStringLiteral("--log-folder"),
                         logs.path() + QStringLiteral("/run"), QStringLiteral("--default"),
                         QStringLiteral("CGServerPortNumber=2002")});
    EXPECT_EQ(status, cli::Success);
    EXPECT_EQ(outText, QStringLiteral("done\n"));
    EXPECT_EQ(echo->seenLevel, 3);
    EXPECT_EQ(echo->seenPort.toInt(), 2002);
    EXPECT_TRUE(errText.contains(QStringLiteral("graflink-cli: shown to the operator")));

    const QStringList files =
        QDir(logs.path() + QStringLiteral("/run")).entryList({QStringLiteral("Graflink *.log")});
    ASSERT_EQ(files.size(), 1);
    const QString log =
        QString::fromUtf8(testing_support::readFile(logs.path() + QStringLiteral("/run/") + files.first()));
    EXPECT_TRUE(log.contains(QStringLiteral("\t\thello world\r\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("!\t")));
    // Argument-domain values are for this run only: none was stored (the start stores only the
    // version that ran).
    EXPECT_FALSE(
        QString::fromUtf8(testing_support::readFile(platform::UserDefaults::standardSettingsFilePath()))
            .contains(QStringLiteral("CGServerPortNumber")));

    outText.clear();
    EXPECT_EQ(application.run({QStringLiteral("echo"), QStringLiteral("--help")}), cli::Success);
    EXPECT_EQ(outText, QStringLiteral("Usage: graflink-cli echo TEXT...\n"));
}

/// A subcommand that writes to stderr on the main thread while a worker logs shown messages.
class ChattyCommand : public cli::CliCommand {
  public:
    QString name() const override { return QStringLiteral("chatty"); }
    QString summary() const override { return QStringLiteral("talks on two threads"); }
    QString help() const override { return QString(); }
    int run(cli::CliContext& context, const QStringList&) override {
        std::thread worker([&context] {
            for (int i = 0; i < Lines; ++i)
                context.logger.logMessage(QStringLiteral("worker %1").arg(i), 2, true);
        });
        for (int i = 0; i < Lines; ++i)
            context.err << "main " << i << Qt::endl;
        worker.join();
        return cli::Success;
    }
    static constexpr int Lines = 300;
};

// Fault guarded: the log delegate and the --verbose echo wrote to the terminal stream from the
// log's threads while the subcommand wrote to it from the main thread, tearing lines apart.
TEST(CliApplicationRun, KeepsLinesWholeWhenTheLogAndTheSubcommandWriteAtOnce) {
    QTemporaryDir logs;
    QString outText, errText;
    QTextStream out(&outText);
    platform::ConsoleWriter err([&errText](const QByteArray& bytes) { errText += QString::fromUtf8(bytes); });
    cli::CliApplication application(out, err);
    application.registerCommand(std::make_unique<ChattyCommand>());
    ASSERT_EQ(application.run({QStringLiteral("chatty"), QStringLiteral("--verbose"),
                               QStringLiteral("--log-folder"), logs.path()}),
              cli::Success);

    const QRegularExpression fromMain(QStringLiteral("^main \\d+$")),
        shown(QStringLiteral("^graflink-cli: worker \\d+$")),
        echoed(QStringLiteral("^\\t[^\\t]+\\t[^\\t]+\\t[^\\t]+\\t\\tworker \\d+$"));
    int mains = 0, shownLines = 0, echoes = 0;
    for (const QString& line : errText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        mains += fromMain.match(line).hasMatch();
        shownLines += shown.match(line).hasMatch();
        echoes += echoed.match(line).hasMatch();
    }
    EXPECT_EQ(mains, ChattyCommand::Lines);
    EXPECT_EQ(shownLines, ChattyCommand::Lines);
    EXPECT_EQ(echoes, ChattyCommand::Lines);
}

/// The real binary, as scripts on rack machines call it.
struct BinaryRun {
    int status;
    QString out;
    QString err;
};

BinaryRun runBinary(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}, {}};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(CliBinary, AnswersHelpVersionAndUsageErrorsWithTheirExitCodes) {
    const BinaryRun help = runBinary({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage: graflink-cli")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--default KEY=VALUE")));

    const BinaryRun version = runBinary({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("graflink-cli ")));

    const BinaryRun nothing = runBinary({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.isEmpty());

    const BinaryRun unknown = runBinary({QStringLiteral("frobnicate")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown subcommand")));

    EXPECT_EQ(runBinary({QStringLiteral("--log-level"), QStringLiteral("loud")}).status, 2);
}

// Fault guarded: the feed address's password reached the technical log, the --verbose echo
// and error texts with the address.
TEST(CliBinary, ShowsNoPasswordAtTheMostDetailedLogLevel) {
    const QString feedPassword = QStringLiteral("feed-pw-5X"), cgPassword = QStringLiteral("cg-pw-8Z");
    testing_support::LoopbackHttpServer feed;
    feed.serve("/feed.json",
               testing_support::LoopbackHttpServer::Reply::text(R"({"home":"Lions"})", "application/json"));
    CGServerSimulator::Options options;
    options.serverType = 2;
    options.password = cgPassword;
    CGServerSimulator simulator(options);
    ASSERT_TRUE(simulator.start());
    QTemporaryDir temp;
    const QString logs = temp.filePath(QStringLiteral("logs"));
    const auto document = [&](const QString& name, const QString& host) {
        const QString path = temp.filePath(name);
        const BinaryRun made = runBinary(
            {QStringLiteral("new"), path, QStringLiteral("--source"),
             QStringLiteral("http://feeduser:%1@%2:%3/feed.json").arg(feedPassword, host).arg(feed.port()),
             QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(simulator.port()),
             QStringLiteral("--type"), QStringLiteral("2"), QStringLiteral("--password"), cgPassword,
             QStringLiteral("--publish"), QStringLiteral("--var"),
             QStringLiteral(
                 R"({"XPath":"home","CGProjectName":"Scoreboard","CGProjectFieldName":"Home","valueType":0})")});
        EXPECT_EQ(made.status, 0) << made.err.toStdString();
        return path;
    };
    const QString reachable = document(QStringLiteral("reachable.graflink"), QStringLiteral("127.0.0.1"));
    const QString unusable = document(QStringLiteral("unusable.graflink"), QStringLiteral("bad host"));

    const struct {
        QStringList arguments;
        int status;
    } runs[] = {
        {{QStringLiteral("refresh"), reachable}, 0},
        {{QStringLiteral("refresh"), unusable}, 1},
        {{QStringLiteral("paths"), unusable}, 1},
    };
    for (const auto& run : runs) {
        const BinaryRun result =
            runBinary(QStringList{QStringLiteral("--log-level"), QStringLiteral("3"),
                                  QStringLiteral("--verbose"), QStringLiteral("--log-folder"), logs} +
                      run.arguments);
        SCOPED_TRACE(run.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(result.status, run.status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("URL Session Task"))) << "the log is echoed";
        for (const QString& secret : {feedPassword, cgPassword}) {
            EXPECT_FALSE(result.err.contains(secret)) << result.err.toStdString();
            EXPECT_FALSE(result.out.contains(secret)) << result.out.toStdString();
        }
    }
    EXPECT_GE(simulator.acceptedUpdates().size(), 1) << "the CG password was used";
    QString written;
    for (QDirIterator it(logs, QDir::Files); it.hasNext();)
        written += QString::fromUtf8(testing_support::readFile(it.next()));
    EXPECT_TRUE(written.contains(QStringLiteral("feeduser:***@bad host"))) << written.toStdString();
    for (const QString& secret : {feedPassword, cgPassword})
        EXPECT_FALSE(written.contains(secret)) << written.toStdString();
}

} // namespace
