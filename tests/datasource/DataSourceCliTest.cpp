#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "testkit/CliRun.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/MemorySecretStore.h"
#include "testkit/TestHelpers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testing_support;

using namespace datasource_test;

namespace {

class DataSourceCli : public ::testing::Test {
  protected:
    /// Makes the data-source file, then sets `settings` in it; returns the set command's run.
    CliRun create(const QStringList& settings) {
        EXPECT_EQ(runCli({u"datasource"_s, u"new"_s, file}).status, 0);
        return runCli(QStringList{u"datasource"_s, u"set"_s, file} + settings);
    }

    QTemporaryDir dir;
    LoopbackHttpServer server;
    const QString file = dir.filePath(u"d.cgds"_s);
};

} // namespace

TEST_F(DataSourceCli, NewSetAndShowOverHttp) {
    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(2), "text/xml"));
    const CliRun set = create(
        {u"--url"_s, server.url(u"/feed"_s).toString(), u"--xpath"_s, u"/feed/race[*]"_s, u"--add-column"_s,
         u"Race=/feed/race[*]/Name"_s, u"--add-format-column"_s,
         u"Top=<#Race!>: <#/feed/race[*]/candidate[1]/Last!>\t!"_s, u"--export-path"_s, u"/tmp/x.xpls"_s});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();

    const CliRun show = runCli({u"datasource"_s, u"show"_s, file});
    ASSERT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_EQ(show.out, u"Race\tTop\nRace 1\tRace 1:  !\nRace 2\tRace 2:  !\n"_s);

    const CliRun json = runCli({u"datasource"_s, u"show"_s, file, u"--json"_s});
    // One pretty-printed array, written row by row.
    EXPECT_EQ(json.out, u"[\n  {\n    \"Race\": \"Race 1\",\n    \"Top\": \"Race 1: \\t!\"\n  },\n"
                        "  {\n    \"Race\": \"Race 2\",\n    \"Top\": \"Race 2: \\t!\"\n  }\n]\n"_s);

    EXPECT_EQ(runCli({u"datasource"_s, u"set"_s, file, u"--auto-update"_s, u"maybe"_s}).status, 2);
    server.serve("/feed", LoopbackHttpServer::Reply::text("", "text/xml", 404));
    EXPECT_EQ(runCli({u"datasource"_s, u"show"_s, file}).status, 1);
    EXPECT_EQ(runCli({u"datasource"_s, u"show"_s, dir.filePath(u"none"_s)}).status, 1);
}

// A listing of many rows, whose cells are read on several threads, keeps the rows' order.
TEST_F(DataSourceCli, ShowsLongListingsInTheRowsOrder) {
    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(300), "text/xml"));
    ASSERT_EQ(create({u"--url"_s, server.url(u"/feed"_s).toString(), u"--xpath"_s, u"/feed/race[*]"_s,
                      u"--add-column"_s, u"Race=/feed/race[*]/Name"_s, u"--add-column"_s,
                      u"Votes=/feed/race[*]/candidate[2]/Votes"_s})
                  .status,
              0);
    QString expected = u"Race\tVotes\n"_s;
    for (int race = 1; race <= 300; ++race)
        expected += u"Race %1\t%2\n"_s.arg(race).arg(race * 100 + 2);
    const CliRun show = runCli({u"datasource"_s, u"show"_s, file});
    EXPECT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_EQ(show.out, expected);
}

// The secret travels from the environment to the keychain, and from there to the feed server
// only: the file keeps the header's name.
TEST_F(DataSourceCli, SetsFeedHeadersWhoseValuesGoToTheFeedAlone) {
    const SharedMemorySecretStore keychain;
    server.serve("/feed", LoopbackHttpServer::Reply::text(electionFeed(1), "text/xml"));
    qputenv("GRAFLINK_TEST_FEED_KEY", "k-secret-1");

    const CliRun set =
        create({u"--url"_s, server.url(u"/feed"_s).toString(), u"--xpath"_s, u"/feed/race[*]"_s,
                u"--add-column"_s, u"Race=/feed/race[*]/Name"_s, u"--feed-auth"_s, u"headers"_s,
                u"--feed-header-env"_s, u"X-Api-Key=GRAFLINK_TEST_FEED_KEY"_s});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    const QByteArray saved = readFile(file);
    EXPECT_TRUE(saved.contains("<header>X-Api-Key</header>"));
    EXPECT_FALSE(saved.contains("k-secret-1"));

    const CliRun show = runCli({u"datasource"_s, u"show"_s, file});
    EXPECT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_FALSE(QString(show.out + show.err).contains(u"k-secret-1"_s));
    // One fetch, by show: set only edits the file.
    ASSERT_EQ(server.requestCount(), 1);
    for (const auto& request : server.requests())
        EXPECT_EQ(request.header("X-Api-Key"), QByteArray("k-secret-1"));

    qunsetenv("GRAFLINK_TEST_FEED_KEY");
}

// A spreadsheet's table, published as CSV or kept as a tab-separated file, gives rows as an XML
// feed would.
TEST_F(DataSourceCli, ShowsTheRowsOfCsvAndTabSeparatedFeeds) {
    server.serve("/pub",
                 LoopbackHttpServer::Reply::text("Race,Votes Cast\nMayor,1200\nCouncil,7\n", "text/csv"));
    const QString tsv = dir.filePath(u"sheet.tsv"_s);
    writeFile(tsv, "Race\tVotes Cast\nMayor\t1200\nCouncil\t7\n");
    for (const QString& source : {server.url(u"/pub"_s).toString(), tsv}) {
        SCOPED_TRACE(source.toStdString());
        ASSERT_EQ(create({u"--url"_s, source, u"--xpath"_s, u"/rows/row[*]"_s, u"--add-column"_s,
                          u"Race=/rows/row[*]/Race"_s, u"--add-column"_s, u"Votes=/rows/row[*]/Votes_Cast"_s})
                      .status,
                  0);
        const CliRun show = runCli({u"datasource"_s, u"show"_s, file});
        EXPECT_EQ(show.status, 0) << show.err.toStdString();
        EXPECT_EQ(show.out, u"Race\tVotes\nMayor\t1200\nCouncil\t7\n"_s);
    }
}
