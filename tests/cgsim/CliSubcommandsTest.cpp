// The real graflink-cli binary: `cgsim` as a separate process, `projects` against it.
#include "platform/HttpClient.h"
#include "platform/Json.h"
#include "testkit/TestHelpers.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using testing_support::waitUntil;

class CliAgainstSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
        simulator.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(GRAFLINK_CLI_PATH),
                        {QStringLiteral("cgsim"), QStringLiteral("--port"), QStringLiteral("0"),
                         QStringLiteral("--type"), QStringLiteral("2"), QStringLiteral("--password"),
                         QStringLiteral("a&b c")});
        ASSERT_TRUE(simulator.waitForStarted());
        const QRegularExpression listening(QStringLiteral("listening on http://127.0.0.1:(\\d+)"));
        ASSERT_TRUE(waitUntil([&] {
            errors += simulator.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(errors));
            if (match.hasMatch())
                port = match.captured(1).toUShort();
            return port != 0;
        })) << errors.toStdString();
    }
    void TearDown() override {
        if (simulator.state() != QProcess::NotRunning) {
            simulator.kill();
            simulator.waitForFinished();
        }
    }
    QByteArray run(const QStringList& arguments, int* status) {
        QProcess cli;
        cli.setProcessEnvironment(simulator.processEnvironment());
        cli.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
        cli.waitForFinished(20000);
        *status = cli.exitCode();
        return cli.readAllStandardOutput();
    }

    QTemporaryDir home;
    QProcess simulator;
    QByteArray errors;
    quint16 port = 0;
};

TEST_F(CliAgainstSimulator, ProjectsListsWhatTheSimulatorServes) {
    int status = -1;
    const QByteArray listing =
        run({QStringLiteral("projects"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
             QString::number(port), QStringLiteral("--type"), QStringLiteral("2")},
            &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(listing.startsWith("Scoreboard\tPRJ-SCORE\n  Home\tITM-HOME\ttext\n"))
        << listing.toStdString();
    const QByteArray json =
        run({QStringLiteral("projects"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
             QString::number(port), QStringLiteral("--type"), QStringLiteral("2"), QStringLiteral("--json")},
            &status);
    const auto parsed = platform::parseJson(json);
    ASSERT_TRUE(parsed && parsed->is_array());
    // A type-1 client finds no type-2 listing there.
    run({QStringLiteral("projects"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
         QString::number(port)},
        &status);
    EXPECT_EQ(status, 1);
}

TEST_F(CliAgainstSimulator, CgsimPrintsEachAcceptedUpdateAndStopsOnSignal) {
    platform::http::Client client;
    const auto base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const auto auth = client.perform(
        platform::http::Request(QUrl(base + QStringLiteral("/authorization?password=a%26b%20c"))));
    const auto token = platform::parseJson(auth.body);
    ASSERT_TRUE(token && token->contains("token")) << auth.body.toStdString();
    platform::http::Request put(QUrl(base +
                                     QStringLiteral("/playback/cg_projects/PRJ-SCORE/items/ITM-HOME?token=") +
                                     QString::fromStdString((*token)["token"].get<std::string>())),
                                "PUT");
    put.body = R"({"text":"Lions"})";
    EXPECT_EQ(client.perform(put).statusCode, 200);
    ::kill(pid_t(simulator.processId()), SIGTERM);
    ASSERT_TRUE(simulator.waitForFinished(10000));
    EXPECT_EQ(simulator.exitCode(), 0);
    EXPECT_EQ(simulator.readAllStandardOutput(),
              QByteArray("{\"project\":\"Scoreboard\",\"item\":\"Home\",\"text\":\"Lions\"}\n"));
}

} // namespace
