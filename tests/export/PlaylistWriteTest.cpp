#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace playlist_test;

TEST(PlaylistWrite, EachExportRewritesTheWholeFileAndLeavesNoTemporaryFiles) {
    ElectionFixture fixture;
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2), raceWithCandidates(2, 3), raceWithCandidates(3, 1)}));
    bool ok = false;
    const QString path = fixture.exportPlaylist(u"races.xpls"_s, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ParsedPlaylist(path).items().size(), 3u);

    ASSERT_TRUE(fixture.load({raceWithCandidates(9, 4)}));
    fixture.exportPlaylist(u"races.xpls"_s, &ok);
    ASSERT_TRUE(ok);
    ParsedPlaylist playlist(path);
    ASSERT_EQ(playlist.items().size(), 1u);
    EXPECT_EQ(ParsedPlaylist::text(ParsedPlaylist::child(playlist.items().front(), "uniqueID")), u"9"_s);
    EXPECT_EQ(QDir(fixture.dir.path()).entryList({u"races*"_s}, QDir::Files), QStringList{u"races.xpls"_s});
}

// What a failed write leaves behind is XmlWriteTest's: here, that the export reports why.
TEST(PlaylistWrite, AFailedWriteReportsWhy) {
    ElectionFixture fixture;
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2)}));
    const QString missingFolder = fixture.dir.filePath(u"no/such/folder/out.xpls"_s);
    platform::Error error;
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl::fromLocalFile(missingFolder), *fixture.defaults, &error));
    EXPECT_EQ(error.domain, platform::Error::FileDomain);
    EXPECT_TRUE(error.localizedDescription().contains(QLatin1String("out.xpls")))
        << error.localizedDescription().toStdString();

    error = {};
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl(u"http://example.com/p.xpls"_s), *fixture.defaults, &error));
    EXPECT_FALSE(error.localizedDescription().isEmpty());
}
