#include "cglink/CGServerWire.h"

#include "cglink/CGProject.h"
#include "cglink/CGServerURLs.h"
#include "cglink/WebSocketKeepAlive.h"
#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using platform::JsonValue;

QString s(const QUrl& url) {
    return QString::fromUtf8(url.toEncoded());
}

// An IPv6 literal unbracketed ("http://::1:2001/...") is no URL: such a server got no request.
TEST(URLTemplates, WriteIPv6HostsInBrackets) {
    for (const auto& [host, bracketed] :
         {std::pair{"::1", "[::1]"}, std::pair{"[::1]", "[::1]"}, std::pair{"fe80::1:2", "[fe80::1:2]"}}) {
        const CGServerURLs urls(QString::fromLatin1(host), 2001, 1);
        EXPECT_EQ(s(urls.projects()), u"http://%1:2001/projects"_s.arg(QLatin1String(bracketed)));
        EXPECT_EQ(s(urls.webSocket(u"update"_s)), u"ws://%1:2001/update"_s.arg(QLatin1String(bracketed)));
    }
}

// Values inserted verbatim would cut the query at "&"/"#" or add path segments at "/".
TEST(URLTemplates, PercentEncodesValuesThatWouldChangeTheRequest) {
    const CGServerURLs urls(u"cg-host"_s, 2001, 2);
    EXPECT_EQ(s(urls.authorization(u"a&b #c?d/e+f"_s)),
              u"http://cg-host:2001/authorization?password=a%26b%20%23c%3Fd%2Fe%2Bf"_s);
    EXPECT_EQ(s(urls.update(u"P 1/x"_s, u"I#1"_s, u"t&k=1"_s)),
              u"http://cg-host:2001/playback/cg_projects/P%201%2Fx/items/I%231?token=t%26k%3D1"_s);
    EXPECT_EQ(s(urls.items(u"Ünï"_s)), u"http://cg-host:2001/playback/cg_projects/%C3%9Cn%C3%AF/items"_s);
    // A host that is no host gives no URL, hence no request.
    EXPECT_TRUE(CGServerURLs(u"bad host"_s, 2001, 1).projects().isEmpty());
}

TEST(Answers, DecodeListingsAndSkipMalformedRecords) {
    const JsonValue listing = JsonValue::array({{{"displayName", "Scores"}, {"uniqueID", "P01"}},
                                                {{"displayName", "AB"}, {"uniqueID", "P02"}},
                                                42,
                                                {{"displayName", "Weather"}, {"uniqueID", "P03"}}});
    const auto projects = CGServerWire::decodeProjects(listing, 1);
    ASSERT_EQ(projects.size(), 2);
    EXPECT_EQ(projects.at(1)->name(), u"Weather"_s);
    EXPECT_TRUE(CGServerWire::decodeProjects(std::nullopt, 1).isEmpty());
}

TEST(Answers, GrantATokenOnlyWithSuccessAndAStringTokenAndTellUpdateOutcomesApart) {
    EXPECT_EQ(CGServerWire::authorizationToken(JsonValue{{"success", true}, {"token", "T0K"}}), u"T0K"_s);
    EXPECT_FALSE(CGServerWire::authorizationToken(JsonValue{{"success", false}, {"token", "T0K"}}));
    EXPECT_FALSE(CGServerWire::authorizationToken(JsonValue{{"success", true}}));
    EXPECT_FALSE(CGServerWire::authorizationToken(JsonValue{{"success", "true"}, {"token", "T0K"}}));
    EXPECT_FALSE(CGServerWire::authorizationToken(JsonValue::array()));
    EXPECT_FALSE(CGServerWire::authorizationToken(std::nullopt));

    // A refusal's text and a success are logged in the client's tests.
    using Kind = CGServerWire::UpdateOutcome::Kind;
    EXPECT_EQ(CGServerWire::updateOutcome(JsonValue{{"success", false}, {"error", {{"code", 7}}}}).error,
              u"{\"code\":7}"_s);
    EXPECT_EQ(CGServerWire::updateOutcome(JsonValue("ok")).kind, Kind::NotAnObject);
    EXPECT_EQ(CGServerWire::updateOutcome(std::nullopt).kind, Kind::NotAnObject);
}

class KeepAliveRules : public ::testing::Test {
  protected:
    using Action = WebSocketKeepAlive::Action;
    using Clock = WebSocketKeepAlive::Clock;
    Clock::time_point t0 = Clock::now();
    WebSocketKeepAlive rules{std::chrono::seconds(30), t0};
    Clock::time_point at(int seconds) const { return t0 + std::chrono::seconds(seconds); }
};

// A server that never answered a ping may not know pings at all: it is left open.
TEST_F(KeepAliveRules, PingAfterThirtySecondsOfSilenceAndCloseOnlyAServerThatOnceAnswered) {
    EXPECT_EQ(rules.timerFired(false, false, at(0)), Action::None);
    EXPECT_EQ(rules.timerFired(false, false, at(30)), Action::None);
    EXPECT_EQ(rules.timerFired(true, false, at(31)), Action::None); // a send in flight
    EXPECT_EQ(rules.timerFired(false, false, at(31)), Action::SendPing);
    EXPECT_TRUE(rules.isWaitingForPingAnswer());
    EXPECT_EQ(rules.timerFired(false, false, at(91)), Action::None);
    EXPECT_FALSE(rules.isWaitingForPingAnswer());
}

TEST_F(KeepAliveRules, IgnoringErrorsOnlyReportsTheSilence) {
    ASSERT_EQ(rules.timerFired(false, true, at(31)), Action::SendPing);
    rules.pongReceived();
    ASSERT_EQ(rules.timerFired(false, true, at(91)), Action::SendPing);
    EXPECT_EQ(rules.timerFired(false, true, at(151)), Action::ReportNoAnswer);
    EXPECT_EQ(rules.timerFired(false, true, at(211)), Action::ReportNoAnswer);
    EXPECT_TRUE(rules.isWaitingForPingAnswer());
    EXPECT_FALSE(rules.pongFailed(true));
    EXPECT_TRUE(rules.pongFailed(false));
}

} // namespace
