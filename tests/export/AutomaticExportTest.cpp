#include "PlaylistTestSupport.h"
#include "app/DataSourceAutoExporter.h"
#include "app/DataSourceMenuExport.h"
#include "appbase/NVSLogController.h"
#include "datasource/NVSCGDataSource.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <mutex>

using namespace playlist_test;

namespace {

/// Records what the logger shows to the user.
class ShownMessages : public NVSLogControllerDelegate {
  public:
    bool displayLogMessage(const QString& message, qint64 level) override {
        std::lock_guard lock(m_mutex);
        m_shown.append({message, level});
        return true;
    }
    QList<QPair<QString, qint64>> shown() {
        std::lock_guard lock(m_mutex);
        return m_shown;
    }

  private:
    std::mutex m_mutex;
    QList<QPair<QString, qint64>> m_shown;
};

class PlaylistExportCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString logs = fixture.dir.filePath(u"Logs"_s);
        QDir().mkpath(logs);
        fixture.defaults->setValue(NVSLogController::TechnicalLogFolderPathKey, logs);
        logger = std::make_unique<NVSLogController>(
            NVSLogController::Configuration{fixture.defaults.get(), u"Graflink"_s, nullptr, {}});
        logger->setLogDelegate(&shown);
    }
    void TearDown() override {
        logger->waitUntilIdle();
        logger->setLogDelegate(nullptr);
    }
    /// The one message shown to the user if it is an error (level 0), otherwise nothing.
    QString shownError() {
        logger->waitUntilIdle();
        const auto messages = shown.shown();
        return messages.size() == 1 && messages.front().second == 0 ? messages.front().first : QString();
    }

    ElectionFixture fixture;
    ShownMessages shown;
    std::unique_ptr<NVSLogController> logger;
};

} // namespace

TEST(DataSourceMenuExportNames, PlaylistExtensionIsAppendedUnlessPresentExactly) {
    const struct {
        const char* chosen;
        const char* expected;
    } cases[] = {
        {"/p/results", "/p/results.xpls"},
        {"/p/results.xml", "/p/results.xml.xpls"},
        {"/p/results.xpls", "/p/results.xpls"},
        {"/p/results.XPLS", "/p/results.XPLS.xpls"},
        {"/p/results.xpls.bak", "/p/results.xpls.bak.xpls"},
        {"/p/a b.c.xpls", "/p/a b.c.xpls"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            DataSourceMenuExport::playlistURL(QUrl::fromLocalFile(QString::fromUtf8(c.chosen))).toLocalFile(),
            QString::fromUtf8(c.expected));
    }
}

TEST_F(PlaylistExportCommands, MenuExportRemembersThePathAndMarksTheDocumentOnlyWhenItChanges) {
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2)}));
    const QString chosen = fixture.dir.filePath(u"night"_s);
    const QString written = QString(chosen + QLatin1String(".xpls"));

    ASSERT_TRUE(DataSourceMenuExport::exportToXPLS(*fixture.dataSource, QUrl::fromLocalFile(chosen), *logger,
                                                   *fixture.defaults));
    EXPECT_EQ(ParsedPlaylist(written).items().size(), 1);
    EXPECT_EQ(fixture.dataSource->exportPath(), written);
    EXPECT_TRUE(fixture.dataSource->isDocumentEdited());

    fixture.dataSource->updateChangeCount(platform::Document::ChangeKind::Cleared);
    ASSERT_TRUE(DataSourceMenuExport::exportToXPLS(*fixture.dataSource, QUrl::fromLocalFile(written), *logger,
                                                   *fixture.defaults));
    EXPECT_FALSE(fixture.dataSource->isDocumentEdited());

    // A failed export keeps the remembered path and tells the user.
    const QString unwritable = fixture.dir.filePath(u"missing/folder/x.xpls"_s);
    EXPECT_FALSE(DataSourceMenuExport::exportToXPLS(*fixture.dataSource, QUrl::fromLocalFile(unwritable),
                                                    *logger, *fixture.defaults));
    EXPECT_EQ(fixture.dataSource->exportPath(), written);
    EXPECT_FALSE(fixture.dataSource->isDocumentEdited());
    const QString error = shownError();
    EXPECT_TRUE(error.startsWith(QLatin1String("Failed to Export To Playlist ("))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("x.xpls")));
}

TEST_F(PlaylistExportCommands, RowChangesReExportToTheExportPathOnly) {
    DataSourceAutoExporter exporter(*logger, *fixture.defaults);
    int exports = 0;
    exporter.setExportObserver(
        [&](const NVSCGDataSource&, const QString&, bool, const platform::Error&) { ++exports; });

    // Without an export path nothing is written.
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 1)}));
    EXPECT_EQ(exports, 0);
    EXPECT_EQ(QDir(fixture.dir.path()).entryList({u"*.xpls"_s}, QDir::Files), QStringList());

    const QString path = fixture.dir.filePath(u"auto.xpls"_s);
    fixture.dataSource->setExportPath(path);
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 1), raceWithCandidates(2, 3)}));
    EXPECT_EQ(exports, 1);
    EXPECT_EQ(ParsedPlaylist(path).items().size(), 2);

    // A failure is shown and logged; the export path stays armed for the next change.
    const QString blocked = fixture.dir.filePath(u"gone/auto.xpls"_s);
    fixture.dataSource->setExportPath(blocked);
    ASSERT_TRUE(fixture.load({raceWithCandidates(6, 2)}));
    EXPECT_EQ(exports, 2);
    const QString error = shownError();
    EXPECT_TRUE(error.startsWith(QLatin1String("Failed to export dataSource ("))) << error.toStdString();
    EXPECT_EQ(fixture.dataSource->exportPath(), blocked);
    QDir().mkpath(fixture.dir.filePath(u"gone"_s));
    ASSERT_TRUE(fixture.load({raceWithCandidates(7, 2)}));
    EXPECT_EQ(ParsedPlaylist(blocked).items().size(), 1);
}

TEST_F(PlaylistExportCommands, ObservingEndsWithTheExporter) {
    const QString path = fixture.dir.filePath(u"auto.xpls"_s);
    fixture.dataSource->setExportPath(path);
    { DataSourceAutoExporter exporter(*logger, *fixture.defaults); }
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 1)}));
    EXPECT_FALSE(QFile::exists(path));
}
