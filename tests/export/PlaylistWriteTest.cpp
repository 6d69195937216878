#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace playlist_test;

TEST(PlaylistWrite, EachExportRewritesTheWholeFileAndLeavesNoTemporaryFiles) {
    ElectionFixture fixture;
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2), raceWithCandidates(2, 3), raceWithCandidates(3, 1)}));
    bool ok = false;
    const QString path = fixture.exportPlaylist(QStringLiteral("races.xpls"), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ParsedPlaylist(path).items().size(), 3u);

    ASSERT_TRUE(fixture.load({raceWithCandidates(9, 4)}));
    fixture.exportPlaylist(QStringLiteral("races.xpls"), &ok);
    ASSERT_TRUE(ok);
    ParsedPlaylist playlist(path);
    ASSERT_EQ(playlist.items().size(), 1u);
    EXPECT_EQ(ParsedPlaylist::text(ParsedPlaylist::child(playlist.items().front(), "uniqueID")),
              QStringLiteral("9"));
    EXPECT_EQ(QDir(fixture.dir.path()).entryList({QStringLiteral("races*")}, QDir::Files),
              QStringList{QStringLiteral("races.xpls")});
}

TEST(PlaylistWrite, AFailedWriteKeepsTheOldFileAndReportsWhy) {
    ElectionFixture fixture;
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2)}));
    const QString missingFolder = fixture.dir.filePath(QStringLiteral("no/such/folder/out.xpls"));
    platform::Error error;
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl::fromLocalFile(missingFolder), *fixture.defaults, &error));
    EXPECT_EQ(error.domain, platform::Error::FileDomain);
    EXPECT_TRUE(error.localizedDescription().contains(QLatin1String("out.xpls")))
        << error.localizedDescription().toStdString();

    // A full disk (here: a file size limit smaller than the playlist) must not cost the old file.
    const QString path = fixture.dir.filePath(QStringLiteral("kept.xpls"));
    ASSERT_TRUE(testing_support::writeFile(path, "old playlist"));
    std::vector<Race> races;
    for (int i = 0; i < 50; ++i)
        races.push_back(raceWithCandidates(i, 6));
    ASSERT_TRUE(fixture.load(races));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedSignal = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    error = {};
    const bool written = NVSDataSourceExport::exportDataSource(*fixture.dataSource, QUrl::fromLocalFile(path),
                                                               *fixture.defaults, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedSignal);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.localizedDescription().isEmpty());
    EXPECT_EQ(testing_support::readFile(path), QByteArray("old playlist"));
    EXPECT_EQ(QDir(fixture.dir.path()).entryList({QStringLiteral("kept*")}, QDir::Files),
              QStringList{QStringLiteral("kept.xpls")});

    error = {};
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl(QStringLiteral("http://example.com/p.xpls")), *fixture.defaults, &error));
    EXPECT_FALSE(error.localizedDescription().isEmpty());
}

TEST(PlaylistWrite, RegisteredDefaults) {
    QTemporaryDir dir;
    platform::UserDefaults defaults(dir.filePath(QStringLiteral("d.conf")));
    NVSDataSourceExport::registerDefaults(defaults);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("DataSourceExportStillImagePath")), QString());
    EXPECT_EQ(defaults.stringArrayForKey(QStringLiteral("DataSourceExportCGProjectsNames")),
              (QStringList{QStringLiteral("Race_1_candidate"), QStringLiteral("Race_2_candidates"),
                           QStringLiteral("Race_3_candidates"), QStringLiteral("Race_4_candidates"),
                           QStringLiteral("Race_5_candidates"), QStringLiteral("Race_6_candidates")}));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("RaceStartActionName")), QStringLiteral("03_Race_Start"));
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("CandidateDisplayDuration")), 7.0);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("LeftCandidateActionName")),
              QStringLiteral("01_CandidateLeft_Start"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("RightCandidateActionName")),
              QStringLiteral("02_CandidateRight_Start"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("RaceStopActionName")), QStringLiteral("03_Race_Stop"));
    // Registered values give way to stored ones.
    defaults.setValue(QStringLiteral("RaceStartActionName"), QStringLiteral("mine"));
    NVSDataSourceExport::registerDefaults(defaults);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("RaceStartActionName")), QStringLiteral("mine"));
}
