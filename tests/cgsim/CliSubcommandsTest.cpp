// The real graflink-cli binary: `cgsim` as a separate process, `projects` against it.
#include "platform/HttpClient.h"
#include "platform/Json.h"
#include "testkit/CliProcess.h"
#include "testkit/TestHelpers.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using testing_support::CliRun;
using testing_support::runCliProcess;

class CliAgainstSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        const QRegularExpression listening(u"listening on http://127.0.0.1:(\\d+)"_s);
        ASSERT_TRUE(simulator.waitFor([&] {
            port = listening.match(simulator.err).captured(1).toUShort();
            return port != 0;
        })) << simulator.err.toStdString();
    }
    testing_support::RunningCli simulator{testing_support::words(u"cgsim --port 0 --type 2 --password"_s)
                                          << u"a&b c"_s};
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
    ASSERT_EQ(simulator.terminate(), 0);
    EXPECT_EQ(simulator.out, u"{\"project\":\"Scoreboard\",\"item\":\"Home\",\"text\":\"Lions\"}\n"_s);
}

} // namespace
