#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "peers/LoopbackHttpServer.h"
#include "support/CliRun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace datasource_test;

namespace {

using testing_support::CliRun;
using testing_support::runCli;

} // namespace

TEST(DataSourceCli, NewSetAndShowOverHttp) {
    QTemporaryDir dir;
    testing_support::LoopbackHttpServer server;
    server.serve("/feed", testing_support::LoopbackHttpServer::Reply::text(electionFeed(2), "text/xml"));
    const QString file = dir.filePath(QStringLiteral("d.cgds"));

    EXPECT_EQ(runCli({QStringLiteral("datasource"), QStringLiteral("new"), file}).status, 0);
    const CliRun set =
        runCli({QStringLiteral("datasource"), QStringLiteral("set"), file, QStringLiteral("--url"),
                server.url(QStringLiteral("/feed")).toString(), QStringLiteral("--xpath"),
                QStringLiteral("/feed/race[*]"), QStringLiteral("--add-column"),
                QStringLiteral("Race=/feed/race[*]/Name"), QStringLiteral("--add-format-column"),
                QStringLiteral("Top=<#Race!>: <#/feed/race[*]/candidate[1]/Last!>\t!"),
                QStringLiteral("--export-path"), QStringLiteral("/tmp/x.xpls")});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();

    const CliRun show = runCli({QStringLiteral("datasource"), QStringLiteral("show"), file});
    ASSERT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_EQ(show.out, QStringLiteral("Race\tTop\nRace 1\tRace 1:  !\nRace 2\tRace 2:  !\n"));

    const CliRun json =
        runCli({QStringLiteral("datasource"), QStringLiteral("show"), file, QStringLiteral("--json")});
    // One pretty-printed array, written row by row.
    EXPECT_EQ(json.out,
              QStringLiteral("[\n  {\n    \"Race\": \"Race 1\",\n    \"Top\": \"Race 1: \\t!\"\n  },\n"
                             "  {\n    \"Race\": \"Race 2\",\n    \"Top\": \"Race 2: \\t!\"\n  }\n]\n"));

    EXPECT_EQ(runCli({QStringLiteral("datasource"), QStringLiteral("set"), file,
                      QStringLiteral("--auto-update"), QStringLiteral("maybe")})
                  .status,
              2);
    server.serve("/feed", testing_support::LoopbackHttpServer::Reply::text("", "text/xml", 404));
    EXPECT_EQ(runCli({QStringLiteral("datasource"), QStringLiteral("show"), file}).status, 1);
    EXPECT_EQ(
        runCli({QStringLiteral("datasource"), QStringLiteral("show"), dir.filePath(QStringLiteral("none"))})
            .status,
        1);
}
