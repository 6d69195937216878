#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/BoundedFileRead.h"
#include "platform/DispatchTimer.h"
#include "platform/NotificationCenter.h"
#include "testkit/LoopbackHttpServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace datasource_test;
using testing_support::LoopbackHttpServer;

namespace {

class Refresh : public ::testing::Test {
  protected:
    void SetUp() override {
        dataSource.setXPath(u"/feed/race[*]"_s);
        QObject::connect(&dataSource, &NVSCGDataSource::statusChanged,
                         [this](uint s) { statuses.push_back(s); });
        QObject::connect(&dataSource, &NVSCGDataSource::contentNodesReset,
                         [this] { statuses.push_back(100 + uint(dataSource.countOfContentNodes())); });
    }

    QString writeFeed(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        testing_support::writeFile(path, bytes);
        return path;
    }

    void refreshFrom(const QUrl& url) {
        dataSource.setDataSourceURL(url);
        dataSource.refreshContent();
        ASSERT_TRUE(waitForRefresh(dataSource));
    }

    QTemporaryDir dir;
    LoopbackHttpServer server;
    NVSCGDataSource dataSource;
    std::vector<uint> statuses; // status values, and 100 + row count at every row rebuild
};

} // namespace

// Every XML refresh is a new document, so its rows are new rows: each one is announced.
TEST_F(Refresh, FileFeedsByExtensionAndByContent) {
    int posted = 0;
    platform::NotificationObservation observation(platform::NotificationCenter::defaultCenter(),
                                                  NVSCGDataSourceContentUpdatedNotificationName, &dataSource,
                                                  [&](const platform::Notification&) { ++posted; });
    refreshFrom(QUrl::fromLocalFile(writeFeed(u"feed.xml"_s, electionFeed(3))));
    EXPECT_EQ(dataSource.countOfContentNodes(), 3u);
    // Files: the rows are rebuilt before the status says the refresh ended.
    EXPECT_EQ(statuses, (std::vector<uint>{1, 103, 3}));
    EXPECT_EQ(posted, 1);

    refreshFrom(QUrl::fromLocalFile(writeFeed(u"feed"_s, electionFeed(3))));
    EXPECT_EQ(posted, 2);
    refreshFrom(QUrl::fromLocalFile(writeFeed(u"feed"_s, electionFeed(2))));
    EXPECT_EQ(dataSource.countOfContentNodes(), 2u);

    refreshFrom(QUrl::fromLocalFile(writeFeed(u"list.json"_s, "[1,2,3,4]")));
    EXPECT_EQ(dataSource.countOfContentNodes(), 4u);
    refreshFrom(QUrl::fromLocalFile(writeFeed(u"list.txt"_s, "\xEF\xBB\xBF  {\"a\":1}")));
    EXPECT_EQ(dataSource.countOfContentNodes(), 1u);
}

TEST_F(Refresh, BadFilesAndNoAddressLeaveTheRowsAlone) {
    refreshFrom(QUrl::fromLocalFile(writeFeed(u"feed.xml"_s, electionFeed(3))));
    const auto rows = dataSource.contentNodes();
    StderrCapture log;
    const QString files[] = {writeFeed(u"broken.xml"_s, "<feed><race>"), writeFeed(u"broken.json"_s, "[1,"),
                             writeFeed(u"plain.txt"_s, "hello"), dir.filePath(u"missing.xml"_s)};
    for (const QString& file : files) {
        statuses.clear();
        refreshFrom(QUrl::fromLocalFile(file));
        EXPECT_EQ(statuses, (std::vector<uint>{1, 3})) << file.toStdString();
        EXPECT_EQ(dataSource.contentNodes(), rows);
    }
    EXPECT_TRUE(log.text().contains(u"line 1: Premature end of data"_s)) << "why, in the parser's words";
    // No address at all is a failed fetch too.
    refreshFrom(QUrl());
    EXPECT_EQ(dataSource.status(), 3u);
    EXPECT_EQ(dataSource.contentNodes(), rows);
    EXPECT_TRUE(log.text().contains(u"URL Session Task Failed: "_s));
}

TEST_F(Refresh, HttpContentTypes) {
    server.serve("/rss", LoopbackHttpServer::Reply::text(electionFeed(3), "application/rss+xml"));
    server.serve("/json",
                 LoopbackHttpServer::Reply::text("{\"a\":1,\"b\":2}", "application/json; charset=utf-8"));
    server.serve("/upper", LoopbackHttpServer::Reply::text(electionFeed(1), "text/XML"));
    server.serve("/plain", LoopbackHttpServer::Reply::text(electionFeed(1), "text/plain"));
    server.serve("/badxml", LoopbackHttpServer::Reply::text("<feed>", "text/xml"));
    server.serve("/badjson", LoopbackHttpServer::Reply::text("[1,", "application/json"));
    server.serve("/empty", LoopbackHttpServer::Reply::text("", "text/xml"));

    refreshFrom(server.url(u"/rss"_s));
    EXPECT_EQ(dataSource.countOfContentNodes(), 3u);
    // Remote feeds: the status ends before the rows are rebuilt.
    EXPECT_EQ(statuses, (std::vector<uint>{1, 3, 103}));

    refreshFrom(server.url(u"/json"_s));
    EXPECT_EQ(dataSource.countOfContentNodes(), 2u);

    StderrCapture log;
    for (const char* path : {"/upper", "/plain", "/badxml", "/badjson", "/empty", "/missing"}) {
        refreshFrom(server.url(QString::fromLatin1(path)));
        EXPECT_EQ(dataSource.countOfContentNodes(), 2u) << path;
        EXPECT_EQ(dataSource.status(), 3u);
    }
    EXPECT_TRUE(log.text().contains(u"Unknown response type: text/XML"_s));
    EXPECT_TRUE(log.text().contains(u"Unknown response type: text/plain"_s));
    EXPECT_TRUE(log.text().contains(u"URL Session Task Succeeded: HTTP 404"_s));
    // A feed that does not parse says why, as a feed file does.
    EXPECT_TRUE(log.text().contains(u"line 1: Premature end of data"_s)) << log.text().toStdString();
    EXPECT_TRUE(log.text().contains(u"The JSON text is not valid at byte 3"_s)) << log.text().toStdString();
}

TEST_F(Refresh, NotFoundKeepsTheRowsAndTheTimerTriesAgain) {
    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(2), "text/xml"));
    refreshFrom(server.url(u"/feed"_s));
    const auto rows = dataSource.contentNodes();
    ASSERT_EQ(rows.size(), 2u);

    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(2), "text/xml", 404));
    server.clearRequests();
    dataSource.setAutoUpdateFrequency(0.1);
    dataSource.setAutoUpdate(true);
    ASSERT_TRUE(testing_support::waitUntil([&] { return server.requestCount() >= 2; }));
    dataSource.setAutoUpdate(false);
    drainMainQueue();
    EXPECT_EQ(dataSource.contentNodes(), rows);
}

TEST_F(Refresh, TimerArmsOnePeriodLaterAndSkipsTicksDuringARefresh) {
    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(1), "text/xml"));
    dataSource.setDataSourceURL(server.url(u"/feed"_s));

    // The first tick comes one period after arming, not at once.
    dataSource.setAutoUpdate(true);
    ASSERT_NE(dataSource.autoUpdateTimer(), nullptr);
    testing_support::spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(server.requestCount(), 0);

    // Re-armed on change: the new period is in force.
    dataSource.setAutoUpdateFrequency(0);
    EXPECT_EQ(dataSource.autoUpdateTimer()->period(), std::chrono::milliseconds(100));
    ASSERT_TRUE(testing_support::waitUntil([&] { return server.requestCount() >= 1; }));

    // While the status says a refresh runs, ticks pass without starting one.
    dataSource.setAutoUpdate(false);
    ASSERT_TRUE(testing_support::waitUntil([&] { return dataSource.status() == 3u; }));
    drainMainQueue();
    dataSource.setStatus(NVSCGDataSource::Refreshing);
    server.clearRequests();
    dataSource.setAutoUpdate(true);
    testing_support::spinFor(std::chrono::milliseconds(400));
    EXPECT_EQ(server.requestCount(), 0);
    dataSource.setAutoUpdate(false);
}

TEST_F(Refresh, LocalFeedsAreReadWithTheSizeLimitAndNeverWaitForAWriter) {
    const QString fifo = dir.filePath(u"feed.xml"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    platform::Error error;
    EXPECT_EQ(platform::BoundedFileRead::read(fifo, 1024, std::chrono::seconds(1), &error), QByteArray())
        << "a FIFO without a writer reads as empty at once";
    EXPECT_FALSE(platform::BoundedFileRead::read(u"/dev/zero"_s, 1 << 20, std::chrono::seconds(1), &error));
    EXPECT_TRUE(error.localizedDescription().contains(u"larger than the limit"_s));
    const QString small = writeFeed(u"small.xml"_s, "<feed/>");
    EXPECT_EQ(platform::BoundedFileRead::read(small, 7, std::chrono::seconds(1)), QByteArray("<feed/>"));
    EXPECT_FALSE(platform::BoundedFileRead::read(small, 6, std::chrono::seconds(1)));
}

TEST_F(Refresh, PauseResumeAndSwitchingOffWhilePaused) {
    dataSource.setAutoUpdateFrequency(0.1);
    dataSource.pauseUpdateTimer();
    EXPECT_FALSE(dataSource.shouldResume());

    dataSource.setAutoUpdate(true);
    dataSource.pauseUpdateTimer();
    dataSource.pauseUpdateTimer();
    EXPECT_TRUE(dataSource.shouldResume());
    EXPECT_TRUE(dataSource.autoUpdateTimer()->isSuspended());
    dataSource.setAutoUpdate(true);
    EXPECT_TRUE(dataSource.autoUpdateTimer()->isSuspended());
    dataSource.resumeUpdateTimer();
    EXPECT_FALSE(dataSource.autoUpdateTimer()->isSuspended());
    EXPECT_FALSE(dataSource.shouldResume());

    dataSource.pauseUpdateTimer();
    dataSource.setAutoUpdate(false);
    EXPECT_EQ(dataSource.autoUpdateTimer(), nullptr);
    EXPECT_FALSE(dataSource.shouldResume());
    dataSource.setAutoUpdate(true);
    ASSERT_NE(dataSource.autoUpdateTimer(), nullptr);
    EXPECT_FALSE(dataSource.autoUpdateTimer()->isSuspended());
    int refreshes = 0;
    QObject::connect(&dataSource, &NVSCGDataSource::refreshEnded, [&] { ++refreshes; });
    EXPECT_TRUE(testing_support::waitUntil([&] { return refreshes >= 1; }));
    dataSource.close();
    EXPECT_FALSE(dataSource.autoUpdate());

    dataSource.setNilValueForKey(u"autoUpdateFrequency"_s);
    EXPECT_DOUBLE_EQ(dataSource.autoUpdateFrequency(), 10.0);
    dataSource.setAutoUpdateFrequency(std::nan(""));
    EXPECT_DOUBLE_EQ(dataSource.autoUpdateFrequency(), 0.1);
}

// Destroying a data source while its refresh is queued or in flight must not touch freed memory.
TEST_F(Refresh, DestroyingDuringARefreshIsSafe) {
    LoopbackHttpServer::Reply slow = LoopbackHttpServer::Reply::text(electionFeed(2), "text/xml");
    slow.delay = std::chrono::milliseconds(200);
    server.serve("/slow", slow);
    for (int i = 0; i < 3; ++i) {
        auto doomed = std::make_unique<NVSCGDataSource>();
        doomed->setDataSourceURL(i == 0 ? server.url(u"/slow"_s)
                                        : QUrl::fromLocalFile(writeFeed(u"f.xml"_s, electionFeed(50))));
        doomed->refreshContent();
        doomed->refreshContent();
        doomed.reset();
    }
    testing_support::spinFor(std::chrono::milliseconds(400)); // what a sanitizer build watches
}
