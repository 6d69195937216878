#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "testkit/CliRun.h"
#include "testkit/LoopbackHttpServer.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace playlist_test;
using testing_support::LoopbackHttpServer;

namespace {

using testing_support::CliRun;
using testing_support::runCli;

/// A data-source file reading `feed`, re-read every 0.2 s when `autoUpdate`.
QString writeDataSource(const QString& file, const QUrl& feed, const QString& exportPath, bool autoUpdate) {
    NVSCGDataSource dataSource;
    dataSource.setDataSourceURL(feed);
    dataSource.setXPath(QStringLiteral("/Election/Race[*]"));
    dataSource.addColumnWithTitle(QStringLiteral("Race"), QStringLiteral("/Election/Race[*]/Name1"));
    dataSource.setExportPath(exportPath);
    dataSource.setAutoUpdateFrequency(0.2);
    dataSource.setAutoUpdate(autoUpdate);
    platform::Error error;
    EXPECT_TRUE(dataSource.saveToPath(file, NVSCGDataSourceDocumentType, &error))
        << error.localizedDescription().toStdString();
    dataSource.close();
    return file;
}

std::size_t itemCount(const QString& path) {
    ParsedPlaylist playlist(path);
    return playlist.isValid() ? playlist.items().size() : 0;
}

} // namespace

TEST(PlaylistCli, ExportWritesOutAndLeavesTheDataSourceFileAlone) {
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/results.xml",
                 LoopbackHttpServer::Reply::text(
                     electionFeed({raceWithCandidates(1, 2), raceWithCandidates(2, 3)}), "application/xml"));
    const QString file = writeDataSource(dir.filePath(QStringLiteral("e.cgds")),
                                         server.url(QStringLiteral("/results.xml")), QString(), false);
    const QByteArray fileBefore = testing_support::readFile(file);
    const QString out = dir.filePath(QStringLiteral("night.xpls"));

    const CliRun run = runCli({QStringLiteral("datasource"), QStringLiteral("export"), file, out,
                               QStringLiteral("--default"), QStringLiteral("RaceStartActionName=Begin")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString(QLatin1String("exported 2 playlist items to ") + out + QLatin1Char('\n')));
    ParsedPlaylist playlist(out);
    ASSERT_EQ(playlist.items().size(), 2u);
    xmlNodePtr action =
        ParsedPlaylist::elements(ParsedPlaylist::child(playlist.items()[0], "actions")).front();
    EXPECT_EQ(ParsedPlaylist::attributes(action).at(0).second, QStringLiteral("Begin"));
    EXPECT_EQ(testing_support::readFile(file), fileBefore);

    const QStringList usage[] = {
        {QStringLiteral("datasource"), QStringLiteral("export"), file},
        {QStringLiteral("datasource"), QStringLiteral("export"), file, out, out},
        {QStringLiteral("datasource"), QStringLiteral("export"), file, out, QStringLiteral("--x")},
        {QStringLiteral("datasource"), QStringLiteral("watch")}};
    for (const QStringList& arguments : usage)
        EXPECT_EQ(runCli(arguments).status, 2) << arguments.join(QLatin1Char(' ')).toStdString();
    const CliRun unwritable = runCli({QStringLiteral("datasource"), QStringLiteral("export"), file,
                                      dir.filePath(QStringLiteral("no/folder/x.xpls"))});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.err.contains(QLatin1String("x.xpls"))) << unwritable.err.toStdString();
    server.serve("/results.xml", LoopbackHttpServer::Reply::text("", "application/xml", 500));
    EXPECT_EQ(runCli({QStringLiteral("datasource"), QStringLiteral("export"), file, out}).status, 1);
    EXPECT_EQ(itemCount(out), 2u) << "a failed refresh leaves the old playlist";
}

TEST(PlaylistCli, WatchRewritesThePlaylistWhenTheFeedChangesUntilTerminated) {
    QTemporaryDir dir;
    LoopbackHttpServer server;
    server.serve("/results.xml", LoopbackHttpServer::Reply::text(electionFeed({raceWithCandidates(1, 2)}),
                                                                 "application/xml"));
    const QString playlist = dir.filePath(QStringLiteral("live.xpls"));
    const QString file = writeDataSource(dir.filePath(QStringLiteral("live.cgds")),
                                         server.url(QStringLiteral("/results.xml")), playlist, true);
    const QString silent = writeDataSource(dir.filePath(QStringLiteral("silent.cgds")),
                                           server.url(QStringLiteral("/results.xml")), QString(), true);

    QProcess watch;
    watch.start(QStringLiteral(GRAFLINK_CLI_PATH),
                {QStringLiteral("datasource"), QStringLiteral("watch"), file, silent});
    ASSERT_TRUE(watch.waitForStarted());
    EXPECT_TRUE(
        testing_support::waitUntil([&] { return itemCount(playlist) == 1; }, std::chrono::seconds(20)));

    server.serve("/results.xml", LoopbackHttpServer::Reply::text(
                                     electionFeed({raceWithCandidates(1, 2), raceWithCandidates(2, 4),
                                                   raceWithCandidates(3, 0)}),
                                     "application/xml"));
    EXPECT_TRUE(
        testing_support::waitUntil([&] { return itemCount(playlist) == 3; }, std::chrono::seconds(20)));
    ParsedPlaylist latest(playlist);
    ASSERT_EQ(latest.items().size(), 3u);
    EXPECT_EQ(ParsedPlaylist::text(ParsedPlaylist::child(latest.items()[1], "durationInSeconds")),
              QStringLiteral("16.000"));

    watch.terminate(); // SIGTERM
    ASSERT_TRUE(watch.waitForFinished(20000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
    const QString out = QString::fromUtf8(watch.readAllStandardOutput());
    const QString err = QString::fromUtf8(watch.readAllStandardError());
    EXPECT_TRUE(out.contains(QString(QLatin1String("exported 3 playlist items to ") + playlist)))
        << out.toStdString();
    EXPECT_FALSE(out.contains(QLatin1String("silent"))) << out.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("silent.cgds has no export path"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String("stopping (signal 15)"))) << err.toStdString();
}

TEST(PlaylistCli, WatchWithoutAnyExportPathFails) {
    QTemporaryDir dir;
    const QString file = writeDataSource(dir.filePath(QStringLiteral("none.cgds")),
                                         QUrl(QStringLiteral("http://127.0.0.1:9/x")), QString(), false);
    const CliRun run = runCli({QStringLiteral("datasource"), QStringLiteral("watch"), file});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("no data source has an export path")))
        << run.err.toStdString();
}
