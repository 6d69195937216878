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

// What a failed write leaves behind is XmlWriteTest's: here, that the export reports why.
TEST(PlaylistWrite, AFailedWriteReportsWhy) {
    ElectionFixture fixture;
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2)}));
    const QString missingFolder = fixture.dir.filePath(QStringLiteral("no/such/folder/out.xpls"));
    platform::Error error;
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl::fromLocalFile(missingFolder), *fixture.defaults, &error));
    EXPECT_EQ(error.domain, platform::Error::FileDomain);
    EXPECT_TRUE(error.localizedDescription().contains(QLatin1String("out.xpls")))
        << error.localizedDescription().toStdString();

    error = {};
    EXPECT_FALSE(NVSDataSourceExport::exportDataSource(
        *fixture.dataSource, QUrl(QStringLiteral("http://example.com/p.xpls")), *fixture.defaults, &error));
    EXPECT_FALSE(error.localizedDescription().isEmpty());
}
