#include "testkit/CliRun.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QByteArray XmlFeed =
    "<?xml version=\"1.0\"?><results><race><name>Mayor</name><votes>1200</votes></race>"
    "<race><name>Council</name><votes>7</votes></race></results>";

} // namespace

// The refresh that opening the document starts is the one the command prints: the feed server
// sees one GET (it used to see a second one for the command's own refresh).
TEST(RefreshCommand, FetchesTheFeedOnceAndPrintsEveryVariable) {
    const struct {
        QByteArray contentType;
        QByteArray feed;
        QStringList paths;
        QStringList options;
        QString expectedOut;
        QStringList newOptions = {}; // given when the document is made
    } cases[] = {
        {"application/xml",
         XmlFeed,
         {u"/results/race[2]/name"_s, u"results/race[1]/votes"_s, u"/results/none"_s},
         {},
         u"/results/race[2]/name\tCouncil\nresults/race[1]/votes\t1200\n/results/none\t\n"_s},
        {"application/json",
         R"({"results": {"race": [{"name": "Mayor", "votes": 1200, "called": true},
                                  {"name": "Council", "votes": 7.5, "called": null}]}})",
         {u"results/race/0/votes"_s, u"results/race/1/votes"_s, u"results/race/0/called"_s,
          u"results/race/1/called"_s, u"results/race/1"_s, u"results/race/2/name"_s},
         {},
         QStringLiteral("results/race/0/votes\t1200\nresults/race/1/votes\t7.5\nresults/race/0/called\ttrue\n"
                        "results/race/1/called\tnull\nresults/race/"
                        "1\t{\"name\":\"Council\",\"votes\":7.5,\"called\":null}\n"
                        "results/race/2/name\t\n")},
        // The listing; a document that watches its data's age also prints how old each value is.
        {"application/xml",
         XmlFeed,
         {u"results/race/name"_s, u"results/none"_s},
         {u"--json"_s},
         QStringLiteral(R"([{"XPath":"results/race/name","CGProjectName":null,"CGProjectItemName":null,)"
                        R"("valueType":0,"value":"Mayor","valueAgeSeconds":0},{"XPath":"results/none",)"
                        R"("CGProjectName":null,"CGProjectItemName":null,"valueType":0}])"
                        "\n"),
         {u"--stale-after"_s, u"30"_s}},
        // A spreadsheet published as CSV reads as rows of elements named after its headers.
        {"text/csv; charset=utf-8",
         "Name,Votes Cast\r\nSmith,1200\r\n\"Jones, Jr.\",7\r\n",
         {u"/rows/row[Name='Jones, Jr.']/Votes_Cast"_s, u"/rows/row[1]/Votes_Cast/@header"_s},
         {},
         QStringLiteral("/rows/row[Name='Jones, Jr.']/Votes_Cast\t7\n"
                        "/rows/row[1]/Votes_Cast/@header\tVotes Cast\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType.toStdString() + " " + c.options.join(u' ').toStdString());
        QTemporaryDir dir;
        LoopbackHttpServer server;
        server.serve("/feed", LoopbackHttpServer::Reply::text(c.feed, c.contentType));
        const QString document = dir.filePath(u"feed.graflink"_s);
        QStringList arguments =
            QStringList{u"new"_s, document, u"--source"_s, server.url(u"/feed"_s).toString()} + c.newOptions;
        for (const QString& path : c.paths)
            arguments << u"--var"_s << QStringLiteral(R"({"XPath":"%1","valueType":0})").arg(path);
        ASSERT_EQ(runCli(arguments).status, 0);

        const CliRun run = runCli(QStringList{u"refresh"_s, document, u"--no-publish"_s} + c.options);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, c.expectedOut);
        EXPECT_EQ(server.requestCount(), 1);
    }
}

// Fault guarded: the command line made no actions controller, so a refresh published its values
// but never ran the actions its variables name.
TEST(RefreshCommandActions, RunEachVariablesActionWithItsValue) {
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/feed", LoopbackHttpServer::Reply::text(XmlFeed, "application/xml"));
    const QString actions = dir.filePath(u"actions"_s);
    const QString record = dir.filePath(u"record.txt"_s);
    const QString script = actions + u"/Flash.sh"_s;
    writeFile(script, "#!/bin/sh\necho \"$*\" >> '" + record.toUtf8() + "'\n");
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    const QString document = dir.filePath(u"actions.graflink"_s);
    QStringList arguments{u"new"_s, document, u"--source"_s, server.url(u"/feed"_s).toString()};
    for (const char* path : {"/results/race[1]/name", "/results/race[2]/votes"})
        arguments << u"--var"_s
                  << QStringLiteral(R"({"XPath":"%1","valueType":0,"appleScriptActionName":"Flash"})")
                         .arg(QLatin1String(path));
    ASSERT_EQ(runCli(arguments).status, 0);

    const CliRun run = runCli(
        {u"--default"_s, u"AppleScriptsFolderPath="_s + actions, u"refresh"_s, document, u"--no-publish"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QStringList lines;
    waitUntil([&] {
        lines = QString::fromUtf8(readFile(record)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return lines.size() >= 2;
    });
    lines.sort();
    EXPECT_EQ(lines, QStringList({u"7"_s, u"Mayor"_s}));
}
