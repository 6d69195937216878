#include "testkit/CliRun.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testing_support::CliRun;
using testing_support::LoopbackHttpServer;
using testing_support::runCli;

namespace {

struct RefreshCase {
    const char* name;
    QByteArray contentType;
    QByteArray feed;
    QStringList paths;
    QStringList options;
    QString expectedOut;
};

void PrintTo(const RefreshCase& c, std::ostream* os) {
    *os << c.name;
}

class RefreshCommand : public testing::TestWithParam<RefreshCase> {};

const QByteArray XmlFeed =
    "<?xml version=\"1.0\"?><results><race><name>Mayor</name><votes>1200</votes></race>"
    "<race><name>Council</name><votes>7</votes></race></results>";
const QByteArray JsonFeed = R"({"results": {"race": [{"name": "Mayor", "votes": 1200, "called": true},
                                                     {"name": "Council", "votes": 7.5, "called": null}]}})";

} // namespace

// The refresh that opening the document starts is the one the command prints: the feed server
// sees one GET (it used to see a second one for the command's own refresh).
TEST_P(RefreshCommand, FetchesTheFeedOnceAndPrintsEveryVariable) {
    const RefreshCase& c = GetParam();
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/feed", LoopbackHttpServer::Reply::text(c.feed, c.contentType));
    const QString document = dir.filePath(QStringLiteral("feed.graflink"));
    QStringList arguments{QStringLiteral("new"), document, QStringLiteral("--source"),
                          server.url(QStringLiteral("/feed")).toString()};
    for (const QString& path : c.paths)
        arguments << QStringLiteral("--var") << QStringLiteral(R"({"XPath":"%1","valueType":0})").arg(path);
    ASSERT_EQ(runCli(arguments).status, 0);

    const CliRun run =
        runCli(QStringList{QStringLiteral("refresh"), document, QStringLiteral("--no-publish")} + c.options);
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, c.expectedOut);
    EXPECT_EQ(server.requestCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, RefreshCommand,
    testing::Values(
        RefreshCase{
            "Xml",
            "application/xml",
            XmlFeed,
            {QStringLiteral("/results/race[2]/name"), QStringLiteral("results/race[1]/votes"),
             QStringLiteral("/results/none")},
            {},
            QStringLiteral("/results/race[2]/name\tCouncil\nresults/race[1]/votes\t1200\n/results/none\t\n")},
        RefreshCase{"Json",
                    "application/json",
                    JsonFeed,
                    {QStringLiteral("results/race/0/votes"), QStringLiteral("results/race/1/votes"),
                     QStringLiteral("results/race/0/called"), QStringLiteral("results/race/1/called"),
                     QStringLiteral("results/race/1"), QStringLiteral("results/race/2/name")},
                    {},
                    QStringLiteral(
                        "results/race/0/votes\t1200\nresults/race/1/votes\t7.5\nresults/race/0/called\ttrue\n"
                        "results/race/1/called\tnull\nresults/race/"
                        "1\t{\"name\":\"Council\",\"votes\":7.5,\"called\":null}\n"
                        "results/race/2/name\t\n")},
        RefreshCase{
            "JsonListing",
            "application/json",
            JsonFeed,
            {QStringLiteral("results/race/1/name"), QStringLiteral("results/race/9")},
            {QStringLiteral("--json")},
            QStringLiteral(
                R"([{"XPath":"results/race/1/name","CGProjectName":null,"CGProjectItemName":null,"valueType":0,"value":"Council"},)"
                R"({"XPath":"results/race/9","CGProjectName":null,"CGProjectItemName":null,"valueType":0}])"
                "\n")},
        // A spreadsheet published as CSV reads as rows of elements named after its headers.
        RefreshCase{"Csv",
                    "text/csv; charset=utf-8",
                    "Name,Votes Cast\r\nSmith,1200\r\n\"Jones, Jr.\",7\r\n",
                    {QStringLiteral("/rows/row[Name='Jones, Jr.']/Votes_Cast"),
                     QStringLiteral("/rows/row[1]/Votes_Cast/@header")},
                    {},
                    QStringLiteral("/rows/row[Name='Jones, Jr.']/Votes_Cast\t7\n"
                                   "/rows/row[1]/Votes_Cast/@header\tVotes Cast\n")}),
    [](const testing::TestParamInfo<RefreshCase>& info) { return std::string(info.param.name); });

// Fault guarded: the command line made no actions controller, so a refresh published its values
// but never ran the actions its variables name.
TEST(RefreshCommandActions, RunEachVariablesActionWithItsValue) {
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/feed", LoopbackHttpServer::Reply::text(XmlFeed, "application/xml"));
    const QString actions = dir.filePath(QStringLiteral("actions"));
    const QString record = dir.filePath(QStringLiteral("record.txt"));
    QDir().mkpath(actions);
    const QString script = actions + QStringLiteral("/Flash.sh");
    testing_support::writeFile(script, "#!/bin/sh\necho \"$*\" >> '" + record.toUtf8() + "'\n");
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    const QString document = dir.filePath(QStringLiteral("actions.graflink"));
    QStringList arguments{QStringLiteral("new"), document, QStringLiteral("--source"),
                          server.url(QStringLiteral("/feed")).toString()};
    for (const char* path : {"/results/race[1]/name", "/results/race[2]/votes"})
        arguments << QStringLiteral("--var")
                  << QStringLiteral(R"({"XPath":"%1","valueType":0,"appleScriptActionName":"Flash"})")
                         .arg(QLatin1String(path));
    ASSERT_EQ(runCli(arguments).status, 0);

    const CliRun run =
        runCli({QStringLiteral("--default"), QStringLiteral("AppleScriptsFolderPath=") + actions,
                QStringLiteral("refresh"), document, QStringLiteral("--no-publish")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QStringList lines;
    testing_support::waitUntil([&] {
        lines =
            QString::fromUtf8(testing_support::readFile(record)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return lines.size() >= 2;
    });
    lines.sort();
    EXPECT_EQ(lines, QStringList({QStringLiteral("7"), QStringLiteral("Mayor")}));
}

// A document that watches its data's age also prints how old each value is.
TEST(RefreshCommandAge, AStaleDataLimitAddsEachValuesAge) {
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/feed", LoopbackHttpServer::Reply::text(XmlFeed, "application/xml"));
    const QString document = dir.filePath(QStringLiteral("aged.graflink"));
    ASSERT_EQ(runCli({QStringLiteral("new"), document, QStringLiteral("--source"),
                      server.url(QStringLiteral("/feed")).toString(), QStringLiteral("--stale-after"),
                      QStringLiteral("30"), QStringLiteral("--var"),
                      QStringLiteral(R"({"XPath":"results/race/name","valueType":0})"),
                      QStringLiteral("--var"), QStringLiteral(R"({"XPath":"results/none","valueType":0})")})
                  .status,
              0);
    const CliRun run = runCli(
        {QStringLiteral("refresh"), document, QStringLiteral("--no-publish"), QStringLiteral("--json")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              QStringLiteral(R"([{"XPath":"results/race/name","CGProjectName":null,"CGProjectItemName":null,)"
                             R"("valueType":0,"value":"Mayor","valueAgeSeconds":0},{"XPath":"results/none",)"
                             R"("CGProjectName":null,"CGProjectItemName":null,"valueType":0}])"
                             "\n"));
}
