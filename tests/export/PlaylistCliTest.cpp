#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "testkit/CliProcess.h"
#include "testkit/LoopbackHttpServer.h"

#include <gtest/gtest.h>

using namespace testing_support;

using namespace playlist_test;

namespace {

qsizetype itemCount(const QString& path) {
    return ParsedPlaylist(path).items().size();
}

class PlaylistCli : public ::testing::Test {
  protected:
    void serve(const std::vector<Race>& races) {
        server.serve("/results.xml", LoopbackHttpServer::Reply::text(electionFeed(races), "application/xml"));
    }
    /// A data-source file `name` reading the served feed, re-read every 0.2 s when `autoUpdate`.
    QString writeDataSource(const QString& name, const QString& exportPath, bool autoUpdate) {
        NVSCGDataSource dataSource;
        dataSource.setDataSourceURL(server.url(u"/results.xml"_s));
        dataSource.setXPath(u"/Election/Race[*]"_s);
        dataSource.addColumnWithTitle(u"Race"_s, u"/Election/Race[*]/Name1"_s);
        dataSource.setExportPath(exportPath);
        dataSource.setAutoUpdateFrequency(0.2);
        dataSource.setAutoUpdate(autoUpdate);
        platform::Error error;
        EXPECT_TRUE(dataSource.saveToPath(dir.filePath(name), NVSCGDataSourceDocumentType, &error))
            << error.localizedDescription().toStdString();
        dataSource.close();
        return dir.filePath(name);
    }

    QTemporaryDir dir;
    LoopbackHttpServer server;
};

} // namespace

TEST_F(PlaylistCli, ExportWritesOutAndLeavesTheDataSourceFileAlone) {
    serve({raceWithCandidates(1, 2), raceWithCandidates(2, 3)});
    const QString file = writeDataSource(u"e.cgds"_s, QString(), false);
    const QByteArray fileBefore = readFile(file);
    const QString out = dir.filePath(u"night.xpls"_s);

    const CliRun run =
        runCli({u"datasource"_s, u"export"_s, file, out, u"--default"_s, u"RaceStartActionName=Begin"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString(QLatin1String("exported 2 playlist items to ") + out + QLatin1Char('\n')));
    const QStringList items = ParsedPlaylist(out).items();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0].contains(u"actions{action[name=Begin,"_s)) << items[0].toStdString();
    EXPECT_EQ(readFile(file), fileBefore);

    const QStringList usage[] = {{u"datasource"_s, u"export"_s, file},
                                 {u"datasource"_s, u"export"_s, file, out, out},
                                 {u"datasource"_s, u"export"_s, file, out, u"--x"_s},
                                 {u"datasource"_s, u"watch"_s}};
    for (const QStringList& arguments : usage)
        EXPECT_EQ(runCli(arguments).status, 2) << arguments.join(QLatin1Char(' ')).toStdString();
    const CliRun unwritable =
        runCli({u"datasource"_s, u"export"_s, file, dir.filePath(u"no/folder/x.xpls"_s)});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(QLatin1String("x.xpls"))) << unwritable.err.toStdString();
    server.serve("/results.xml", LoopbackHttpServer::Reply::text("", "application/xml", 500));
    EXPECT_EQ(runCli({u"datasource"_s, u"export"_s, file, out}).status, 1);
    EXPECT_EQ(itemCount(out), 2) << "a failed refresh leaves the old playlist";
}

TEST_F(PlaylistCli, WatchRewritesThePlaylistWhenTheFeedChangesUntilTerminated) {
    serve({raceWithCandidates(1, 2)});
    const QString playlist = dir.filePath(u"live.xpls"_s);
    const QString file = writeDataSource(u"live.cgds"_s, playlist, true);
    const QString silent = writeDataSource(u"silent.cgds"_s, QString(), true);

    RunningCli watch({u"datasource"_s, u"watch"_s, file, silent});
    EXPECT_TRUE(waitUntil([&] { return itemCount(playlist) == 1; }, std::chrono::seconds(20)));

    serve({raceWithCandidates(1, 2), raceWithCandidates(2, 4), raceWithCandidates(3, 0)});
    EXPECT_TRUE(waitUntil([&] { return itemCount(playlist) == 3; }, std::chrono::seconds(20)));

    ASSERT_EQ(watch.terminate(), 0);
    const QString &out = watch.out, &err = watch.err;
    EXPECT_TRUE(out.contains(QString(QLatin1String("exported 3 playlist items to ") + playlist)))
        << out.toStdString();
    EXPECT_FALSE(out.contains(QLatin1String("silent"))) << out.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("silent.cgds has no export path"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("stopping (signal 15)"))) << err.toStdString();
}

TEST_F(PlaylistCli, WatchWithoutAnyExportPathFails) {
    const CliRun run =
        runCli({u"datasource"_s, u"watch"_s, writeDataSource(u"none.cgds"_s, QString(), false)});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("no data source has an export path")))
        << run.err.toStdString();
}
