// The real graflink-cli binary: `cgsim` as a separate process, `projects` against it.
#include "platform/HttpClient.h"
#include "platform/Json.h"
#include "testkit/CliProcess.h"
#include "testkit/TestHelpers.h"

#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using testing_support::CliRun;
using testing_support::runCliProcess;
using testing_support::waitUntil;

class CliAgainstSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        simulator.start(QStringLiteral(GRAFLINK_CLI_PATH),
                        testing_support::words(u"cgsim --port 0 --type 2 --password"_s) << u"a&b c"_s);
        ASSERT_TRUE(simulator.waitForStarted());
        const QRegularExpression listening(u"listening on http://127.0.0.1:(\\d+)"_s);
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
    QProcess simulator;
    QByteArray errors;
    quint16 port = 0;
};

TEST_F(CliAgainstSimulator, ProjectsListsWhatTheSimulatorServes) {
    const QStringList projects = testing_support::words(u"projects 127.0.0.1 --port %1"_s.arg(port));
    const CliRun listing = runCliProcess(projects + QStringList{u"--type"_s, u"2"_s});
    EXPECT_EQ(listing.status, 0);
    EXPECT_TRUE(listing.out.startsWith(u"Scoreboard\tPRJ-SCORE\n  Home\tITM-HOME\ttext\n"_s))
        << listing.out.toStdString();
    const auto parsed = platform::parseJson(
        runCliProcess(projects + QStringList{u"--type"_s, u"2"_s, u"--json"_s}).out.toUtf8());
    ASSERT_TRUE(parsed && parsed->is_array());
    // A type-1 client finds no type-2 listing there.
    EXPECT_EQ(runCliProcess(projects).status, 1);
}

TEST_F(CliAgainstSimulator, CgsimPrintsEachAcceptedUpdateAndStopsOnSignal) {
    platform::http::Client client;
    const auto base = u"http://127.0.0.1:%1"_s.arg(port);
    const auto auth =
        client.perform(platform::http::Request(QUrl(base + u"/authorization?password=a%26b%20c"_s)));
    const auto token = platform::parseJson(auth.body);
    ASSERT_TRUE(token && token->contains("token")) << auth.body.toStdString();
    platform::http::Request put(QUrl(base + u"/playback/cg_projects/PRJ-SCORE/items/ITM-HOME?token="_s +
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
