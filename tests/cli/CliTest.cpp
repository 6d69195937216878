#include "appbase/NVSLogController.h"
#include "cgsim/CGServerSimulator.h"
#include "cli/CliApplication.h"
#include "platform/ConsoleWriter.h"
#include "platform/UserDefaults.h"
#include "testkit/CliProcess.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

using cli::parseCommandLine;
using testing_support::CliRun;
using testing_support::runCliProcess;

// Global options count before and after the subcommand; default values are read as JSON when
// they parse and as text otherwise.
TEST(CommandLineParsing, TakesGlobalOptionsAndDefaultsBeforeOrAfterTheSubcommand) {
    const auto parsed = parseCommandLine(testing_support::words(
        uR"(--verbose --default CGServerPortNumber=2002 refresh doc.graflink --log-level 3 --json)"
        uR"( --log-folder=/tmp/logs --default CGServerIPAddress=10.0.0.5)"
        uR"( --default=ignoreWebSocketsPingPongErrors=true --default Paths=["a","b"])"
        uR"( --default Text="=quoted=")"_s));
    ASSERT_FALSE(parsed.error);
    EXPECT_EQ(parsed.subcommand, u"refresh"_s);
    EXPECT_EQ(parsed.arguments, QStringList({u"doc.graflink"_s, u"--json"_s}));
    EXPECT_TRUE(parsed.global.verbose);
    EXPECT_EQ(parsed.global.logLevel, 3);
    EXPECT_EQ(parsed.global.logFolder, u"/tmp/logs"_s);
    ASSERT_EQ(parsed.global.defaults.size(), 5);
    EXPECT_EQ(parsed.global.defaults[0].second.toInt(), 2002);
    EXPECT_EQ(parsed.global.defaults[1].second, QVariant(u"10.0.0.5"_s));
    EXPECT_EQ(parsed.global.defaults[2].second.typeId(), QMetaType::Bool);
    EXPECT_EQ(parsed.global.defaults[3].second.toStringList(), QStringList({u"a"_s, u"b"_s}));
    EXPECT_EQ(parsed.global.defaults[4].first, u"Text"_s);
    EXPECT_EQ(parsed.global.defaults[4].second, QVariant(u"=quoted="_s));
}

TEST(CommandLineParsing, RejectsUnusableCommandLines) {
    for (const char* line : {"--log-level high run", "run --log-level", "--default novalue run",
                             "--frobnicate", "--verbose --quiet run"}) {
        EXPECT_TRUE(parseCommandLine(testing_support::words(QString::fromLatin1(line))).error) << line;
    }
    // After "--" everything belongs to the subcommand.
    const auto literal = parseCommandLine({u"csv"_s, u"--"_s, u"--verbose"_s});
    EXPECT_FALSE(literal.error);
    EXPECT_FALSE(literal.global.verbose);
    EXPECT_EQ(literal.arguments, QStringList{u"--verbose"_s});
}

/// A subcommand that logs what it is given, as real subcommands report their work.
class EchoCommand : public cli::CliCommand {
  public:
    QString name() const override { return u"echo"_s; }
    QString summary() const override { return u"logs its arguments"_s; }
    QString help() const override { return u"Usage: graflink-cli echo TEXT...\n"_s; }
    int run(cli::CliContext& context, const QStringList& arguments) override {
        seenLevel = context.defaults.integerForKey(NVSLogController::TechnicalLogLevelKey);
        seenPort = context.defaults.objectForKey(u"CGServerPortNumber"_s);
        context.logger.logMessage(arguments.join(QLatin1Char(' ')), 3, false);
        context.logger.logMessage(u"shown to the operator"_s, 1, true);
        context.out << "done\n";
        return arguments.isEmpty() ? cli::Failure : cli::Success;
    }
    qint64 seenLevel = -1;
    QVariant seenPort;
};

/// An application whose standard output and error are kept, with a folder for its logs.
class CliApplicationRun : public testing::Test {
  protected:
    QTemporaryDir logs;
    QString outText, errText;
    QTextStream out{&outText};
    platform::ConsoleWriter err{[this](const QByteArray& bytes) { errText += QString::fromUtf8(bytes); }};
    cli::CliApplication application{out, err};
};

TEST_F(CliApplicationRun, ComposesDefaultsAndTheTechnicalLogForItsSubcommand) {
    auto command = std::make_unique<EchoCommand>();
    EchoCommand* echo = command.get();
    application.registerCommand(std::move(command));

    const int status =
        application.run({u"echo"_s, u"hello"_s, u"world"_s, u"--log-level"_s, u"3"_s, u"--log-folder"_s,
                         logs.path() + u"/run"_s, u"--default"_s, u"CGServerPortNumber=2002"_s});
    EXPECT_EQ(status, cli::Success);
    EXPECT_EQ(outText, u"done\n"_s);
    EXPECT_EQ(echo->seenLevel, 3);
    EXPECT_EQ(echo->seenPort.toInt(), 2002);
    EXPECT_TRUE(errText.contains(u"graflink-cli: shown to the operator"_s));

    const QStringList files = QDir(logs.path() + u"/run"_s).entryList({u"Graflink *.log"_s});
    ASSERT_EQ(files.size(), 1);
    const QString log =
        QString::fromUtf8(testing_support::readFile(logs.path() + u"/run/"_s + files.first()));
    EXPECT_TRUE(log.contains(u"\t\thello world\r\n"_s));
    // Argument-domain values are for this run only: none was stored (the start stores only the
    // version that ran).
    EXPECT_FALSE(
        QString::fromUtf8(testing_support::readFile(platform::UserDefaults::standardSettingsFilePath()))
            .contains(u"CGServerPortNumber"_s));

    outText.clear();
    EXPECT_EQ(application.run({u"echo"_s, u"--help"_s}), cli::Success);
    EXPECT_EQ(outText, u"Usage: graflink-cli echo TEXT...\n"_s);
}

/// A subcommand that writes to stderr on the main thread while a worker logs shown messages.
class ChattyCommand : public cli::CliCommand {
  public:
    QString name() const override { return u"chatty"_s; }
    QString summary() const override { return u"talks on two threads"_s; }
    QString help() const override { return QString(); }
    int run(cli::CliContext& context, const QStringList&) override {
        std::thread worker([&context] {
            for (int i = 0; i < Lines; ++i)
                context.logger.logMessage(u"worker %1"_s.arg(i), 2, true);
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
TEST_F(CliApplicationRun, KeepsLinesWholeWhenTheLogAndTheSubcommandWriteAtOnce) {
    application.registerCommand(std::make_unique<ChattyCommand>());
    ASSERT_EQ(application.run({u"chatty"_s, u"--verbose"_s, u"--log-folder"_s, logs.path()}), cli::Success);

    const QRegularExpression fromMain(u"^main \\d+$"_s), shown(u"^graflink-cli: worker \\d+$"_s),
        echoed(u"^\\t[^\\t]+\\t[^\\t]+\\t[^\\t]+\\t\\tworker \\d+$"_s);
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

// The real binary, as scripts on rack machines call it.
TEST(CliBinary, AnswersHelpVersionAndUsageErrorsWithTheirExitCodes) {
    const CliRun help = runCliProcess({u"--help"_s});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(u"Usage: graflink-cli"_s));
    EXPECT_TRUE(help.out.contains(u"--default KEY=VALUE"_s));

    const CliRun version = runCliProcess({u"--version"_s});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith(u"graflink-cli "_s));

    const CliRun nothing = runCliProcess({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.isEmpty());

    const CliRun unknown = runCliProcess({u"frobnicate"_s});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains(u"unknown subcommand"_s));

    EXPECT_EQ(runCliProcess({u"--log-level"_s, u"loud"_s}).status, 2);
}

// Fault guarded: the feed address's password reached the technical log, the --verbose echo
// and error texts with the address.
TEST(CliBinary, ShowsNoPasswordAtTheMostDetailedLogLevel) {
    const QString feedPassword = u"feed-pw-5X"_s, cgPassword = u"cg-pw-8Z"_s;
    testing_support::LoopbackHttpServer feed;
    feed.serve("/feed.json",
               testing_support::LoopbackHttpServer::Reply::text(R"({"home":"Lions"})", "application/json"));
    CGServerSimulator::Options options;
    options.serverType = 2;
    options.password = cgPassword;
    CGServerSimulator simulator(options);
    ASSERT_TRUE(simulator.start());
    QTemporaryDir temp;
    const QString logs = temp.filePath(u"logs"_s);
    const auto document = [&](const QString& name, const QString& host) {
        const QString path = temp.filePath(name);
        const CliRun made = runCliProcess(
            {u"new"_s, path, u"--source"_s,
             u"http://feeduser:%1@%2:%3/feed.json"_s.arg(feedPassword, host).arg(feed.port()), u"--server"_s,
             u"127.0.0.1:%1"_s.arg(simulator.port()), u"--type"_s, u"2"_s, u"--password"_s, cgPassword,
             u"--publish"_s, u"--var"_s,
             uR"({"XPath":"home","CGProjectName":"Scoreboard","CGProjectFieldName":"Home","valueType":0})"_s});
        EXPECT_EQ(made.status, 0) << made.err.toStdString();
        return path;
    };
    const QString reachable = document(u"reachable.graflink"_s, u"127.0.0.1"_s);
    const QString unusable = document(u"unusable.graflink"_s, u"bad host"_s);

    const struct {
        QStringList arguments;
        int status;
        QString says; // on standard error
    } runs[] = {
        {{u"refresh"_s, reachable}, 0, {}},
        // Why, in the command's own words: the technical log does not hold the reason.
        {{u"refresh"_s, unusable}, 1, u"could not be fetched: The feed address"_s},
        {{u"paths"_s, unusable}, 1, {}},
    };
    for (const auto& run : runs) {
        const CliRun result = runCliProcess(
            QStringList{u"--log-level"_s, u"3"_s, u"--verbose"_s, u"--log-folder"_s, logs} + run.arguments);
        SCOPED_TRACE(run.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(result.status, run.status) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(run.says)) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(u"URL Session Task"_s)) << "the log is echoed";
        for (const QString& secret : {feedPassword, cgPassword}) {
            EXPECT_FALSE(result.err.contains(secret)) << result.err.toStdString();
            EXPECT_FALSE(result.out.contains(secret)) << result.out.toStdString();
        }
    }
    EXPECT_GE(simulator.acceptedUpdates().size(), 1) << "the CG password was used";
    QString written;
    for (QDirIterator it(logs, QDir::Files); it.hasNext();)
        written += QString::fromUtf8(testing_support::readFile(it.next()));
    EXPECT_TRUE(written.contains(u"feeduser:***@bad host"_s)) << written.toStdString();
    for (const QString& secret : {feedPassword, cgPassword})
        EXPECT_FALSE(written.contains(secret)) << written.toStdString();
}

} // namespace
