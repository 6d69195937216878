#include "app/AppTestEnvironment.h"
#include "app/FeedFreshness.h"
#include "app/GraflinkVariable.h"
#include "platform/MonotonicClock.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QSignalSpy>
#include <nlohmann/json.hpp>

namespace {

using Reply = testing_support::LoopbackHttpServer::Reply;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class RefreshScheduling : public AppTestEnvironment {
  protected:
    /// A feed that answers after `delay` with the number of its requests so far.
    void serveSlowly(std::chrono::milliseconds delay) {
        server->route("/feed", [this, delay](const testing_support::LoopbackHttpServer::Request&) {
            Reply reply =
                Reply::text("<r><v>" + QByteArray::number(server->requestCount()) + "</v></r>", "text/xml");
            reply.delay = delay;
            return reply;
        });
    }
    std::vector<Clock::time_point> arrivals() const {
        std::vector<Clock::time_point> times;
        for (const auto& request : server->requests())
            times.push_back(request.arrived);
        return times;
    }
    std::unique_ptr<GraflinkDocument> documentOnFeed() {
        GraflinkDocument::Environment patient = environment();
        patient.refreshRequestTimeout = 5.0;
        auto document = std::make_unique<GraflinkDocument>(patient);
        document->loadVariablesFromDictionaries({{{u"XPath"_s, u"r/v"_s}, {u"valueType"_s, 0}}});
        return document;
    }
    qsizetype logCount(const char* text) { return logLines().filter(QString::fromUtf8(text)).size(); }
};

// A feed slower than the period used to get a new request on every tick.
TEST_F(RefreshScheduling, ASlowFeedNeverHasTwoRequestsOutAtATimedPeriod) {
    const auto delay = 1600ms;
    serveSlowly(delay);
    auto document = documentOnFeed();
    ASSERT_TRUE(pointAt(*document, u"/feed"_s));
    document->setRefreshFrequency(1.0);
    document->setAutoRefresh(true);
    testing_support::spinFor(5s);
    document->setAutoRefresh(false);
    const auto seen = arrivals();
    ASSERT_GE(seen.size(), 3u) << "the follow-up starts as soon as the slow refresh ends";
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(seen[i] - seen[i - 1], delay - 50ms) << "request " << i << " overlapped the one before";
    EXPECT_EQ(logCount("answers more slowly than every"), 1) << "one line when ticks start waiting";
}

TEST_F(RefreshScheduling, TicksDuringARefreshGiveExactlyOneFollowUp) {
    serveSlowly(400ms);
    auto document = documentOnFeed();
    document->setSourceURLString(server->url(u"/feed"_s).toString());
    QSignalSpy finished(document.get(), &GraflinkDocument::refreshFinished);
    for (int tick = 0; tick < 5; ++tick)
        document->timedRefresh();
    EXPECT_TRUE(document->isRefreshDue());
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished.count() == 2; }));
    testing_support::spinFor(600ms);
    EXPECT_EQ(arrivals().size(), 2u);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(valueOf(*document), text("2"));
    document->timedRefresh(); // finds it idle: the feed keeps up again
    ASSERT_TRUE(waitForRefreshes(*document));
    EXPECT_EQ(logCount("keeps up with its refresh period again"), 1);
}

TEST_F(RefreshScheduling, TheFilterKeepsOneEngineAndReadsItsScriptOnlyWhenItChanges) {
    server->serve("/feed", Reply::text("<r><v>7</v></r>", "text/xml"));
    const QString script = temp.filePath(u"filter.js"_s);
    testing_support::writeFile(script, "r_v = r_v + '!';");
    auto document = documentOnFeed();
    document->setJavascriptFilterPath(script);
    ASSERT_TRUE(pointAt(*document, u"/feed"_s));
    for (int i = 0; i < 4; ++i)
        refreshAndWait(*document);
    EXPECT_EQ(valueOf(*document), text("7!"));
    EXPECT_EQ(document->filterEnginesMade(), 1);
    EXPECT_EQ(document->filterScriptReads(), 1);

    testing_support::writeFile(script, "var added = 1; r_v = r_v + '?';");
    refreshAndWait(*document);
    EXPECT_EQ(valueOf(*document), text("7?"));
    EXPECT_EQ(document->filterScriptReads(), 2);
    testing_support::writeFile(script, "r_v = typeof added;");
    refreshAndWait(*document);
    EXPECT_EQ(valueOf(*document), text("undefined")) << "a run does not see the globals an earlier run made";
}

// The shipped example names its filter beside it: found wherever the program was started from.
TEST_F(RefreshScheduling, ARelativeFilterPathIsTakenFromTheDocumentsFolder) {
    server->serve("/feed", Reply::text("<r><v>7</v></r>", "text/xml"));
    const QString folder = temp.filePath(u"show"_s);
    testing_support::writeFile(folder + u"/filter.js"_s, "r_v = 'filtered ' + r_v;");
    const QString file = folder + u"/show.graflink"_s;
    {
        auto document = documentOnFeed();
        document->setSourceURLString(server->url(u"/feed"_s).toString());
        document->setJavascriptFilterPath(u"filter.js"_s);
        ASSERT_TRUE(waitForRefreshes(*document));
        ASSERT_TRUE(document->saveToPath(file, GraflinkDocument::DocumentTypeName));
    }
    ASSERT_NE(QDir::currentPath(), folder);
    auto reopened = makeDocument();
    ASSERT_TRUE(reopened->readFromPath(file, GraflinkDocument::DocumentTypeName));
    ASSERT_TRUE(waitForRefreshes(*reopened));
    EXPECT_EQ(valueOf(*reopened), text("filtered 7"));

    reopened->setJavascriptFilterPath(u"gone.js"_s);
    refreshAndWait(*reopened);
    refreshAndWait(*reopened);
    EXPECT_EQ(logCount("JavaScript filter not found: "), 1) << "a missing filter is logged once";
    EXPECT_EQ(valueOf(*reopened), text("7")) << "and the values go out as evaluated";
    EXPECT_TRUE(reopened->filterProblem().contains(u"gone.js"_s)) << "and shown in the window";
    reopened->setJavascriptFilterPath(u"filter.js"_s);
    refreshAndWait(*reopened);
    EXPECT_EQ(reopened->filterProblem(), QString());
}

// Intervals follow the monotonic clock only: the wall clock may jump either way meanwhile.
TEST(MonotonicIntervals, StaleAlarmsAndValueAgesFollowTheMonotonicClock) {
    Clock::time_point now = Clock::now();
    platform::MonotonicClock::setSourceForTesting([&now] { return now; });
    {
        FeedFreshness freshness;
        QSignalSpy turned(&freshness, &FeedFreshness::staleChanged);
        freshness.setStaleAfterSeconds(10);
        freshness.refreshSucceeded();
        GraflinkVariable variable;
        variable.setCurrentStringValue(platform::JsonValue(1));
        now += 9s;
        freshness.check();
        EXPECT_FALSE(freshness.isStale());
        EXPECT_EQ(freshness.secondsSinceLastSuccess(), 9);
        EXPECT_EQ(variable.valueAgeSeconds(), 9);
        now += 2s;
        freshness.check();
        EXPECT_TRUE(freshness.isStale());
        freshness.refreshSucceeded();
        EXPECT_FALSE(freshness.isStale());
        ASSERT_EQ(turned.count(), 2);
        EXPECT_EQ(turned.at(0).at(1).toLongLong(), 11);
    }
    platform::MonotonicClock::setSourceForTesting({});
}

} // namespace
