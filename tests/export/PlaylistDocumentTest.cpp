#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "export/PlaylistExportSettings.h"
#include "platform/UserDefaults.h"
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

using namespace playlist_test;

namespace {

class PlaylistDocument : public ::testing::Test {
  protected:
    // Exports and parses back; fails the test when either step fails.
    std::unique_ptr<ParsedPlaylist> exportAndParse() {
        bool ok = false;
        const QString path = fixture.exportPlaylist(u"out.xpls"_s, &ok);
        EXPECT_TRUE(ok);
        auto playlist = std::make_unique<ParsedPlaylist>(path);
        EXPECT_TRUE(playlist->isValid()) << playlist->bytes().toStdString();
        return playlist;
    }

    /// 1-based index of the project whose "shouldRun" is true, 0 when none; checks that only
    /// that project carries "itemValues".
    static int runningProject(const QString& item) {
        const QStringList projects =
            item.section(u"itemCGProjects{"_s, 1).split(u"itemCGProject{"_s, Qt::SkipEmptyParts);
        int running = 0;
        for (int k = 0; k < projects.size(); ++k) {
            const bool should = projects[k].contains(u"shouldRun=true"_s);
            EXPECT_EQ(projects[k].contains(u"; itemValues"_s), should) << "project " << k + 1;
            if (should) {
                EXPECT_EQ(running, 0) << "two running projects";
                running = k + 1;
            }
        }
        return running;
    }

    ElectionFixture fixture;
};

} // namespace

// No rows give the root with its schema attributes only; then one race of three candidates, whose
// action parameters are upper-cased whatever the locale (ß becomes SS).
TEST_F(PlaylistDocument, NoRowsThenThreeCandidatesElementByElement) {
    fixture.addColumn(u"Race"_s, u"/Election/Race[*]/Name1"_s);
    fixture.addColumn(u"First"_s, u"/Election/Race[*]/Candidate[1]/LastName"_s, 1);
    ASSERT_TRUE(fixture.load({}));
    const auto empty = exportAndParse();
    EXPECT_TRUE(empty->bytes().startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlistDocument "));
    EXPECT_EQ(ParsedPlaylist::outline(empty->root()),
              u"playlistDocument[xmlns:xsi=http://www.w3.org/2001/XMLSchema-instance, "
              "xsi:noNamespaceSchemaLocation="_s +
                  NVSDataSourceExport::SchemaLocation + u']');

    Race race = raceWithCandidates(42, 3);
    race.name1 = u"Governor – Straße"_s;
    race.precincts = u"42% in"_s;
    race.candidates[1]->winner = u"w"_s;
    ASSERT_TRUE(fixture.load({race}));
    fixture.defaults->setValue(NVSDataSourceExport::StillImagePathKey, u" /media/still one.png "_s);
    const QStringList names = fixture.defaults->stringArrayForKey(NVSDataSourceExport::CGProjectsNamesKey);
    ASSERT_EQ(names.size(), 6);
    QStringList projects;
    for (const QString& name : names)
        projects << u"itemCGProject{projectName="_s + name +
                        (name != names.at(2)
                             ? u"; shouldRun=false}"_s
                             : u"; shouldRun=true; itemValues{itemValue{itemName=Race; "
                               "itemStringValue=Governor – Straße}; itemValue{itemName=First; "
                               "itemStringValue=l1}}}"_s);

    EXPECT_EQ(
        exportAndParse()->items(),
        QStringList{u"playlistItem{uniqueID=42; mediaFilePath[xml:space=preserve]= /media/still one.png ; "
                    "displayName=Governor – Straße; isOffline=false; isStillImage=true; "
                    "actions{action[name=03_Race_Start, time=0.000000, positionType=fromStart, "
                    "parameter=GOVERNOR – STRASSE##42% IN##F1##L1##100##1.5####F2##L2##200##2.5##W##"
                    "F3##L3##300##3.5##, xml:space=preserve]}; durationInSeconds=16.000; "
                    "fileDurationInSeconds=16.000; itemCGProjects{"_s +
                    projects.join(u"; "_s) + u"}}"_s});
}

TEST_F(PlaylistDocument, CandidateCountsDecideActionDurationAndProject) {
    // Races with 0..8 named candidates, one with a gap after the first, and one whose first
    // candidate has no name. Project names: the six registered ones.
    std::vector<Race> races;
    for (int n = 0; n <= 8; ++n)
        races.push_back(raceWithCandidates(n, n));
    Race gap = raceWithCandidates(100, 3);
    gap.candidates[1].reset();
    races.push_back(gap);
    Race unnamedFirst = raceWithCandidates(101, 2);
    unnamedFirst.candidates[0]->name.clear();
    races.push_back(unnamedFirst);
    ASSERT_TRUE(fixture.load(races));

    const struct {
        int candidates;
        QString duration;
        int project;
    } expected[] = {{0, u"2.000"_s, 0},  {1, u"9.000"_s, 1},  {2, u"9.000"_s, 2},  {3, u"16.000"_s, 3},
                    {4, u"16.000"_s, 4}, {5, u"23.000"_s, 5}, {6, u"23.000"_s, 6}, {7, u"30.000"_s, 0},
                    {8, u"30.000"_s, 0}, {1, u"9.000"_s, 1},  {0, u"2.000"_s, 0}};
    const QStringList items = exportAndParse()->items();
    ASSERT_EQ(items.size(), std::ssize(expected));
    for (qsizetype i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].toStdString());
        const auto& e = expected[i];
        EXPECT_TRUE(items[i].contains(u"; durationInSeconds="_s + e.duration + u';'));
        EXPECT_EQ(runningProject(items[i]), e.project);
        // Without a candidate there is no action; with some, five parameters each after two.
        const QString parameter = items[i].section(u"parameter="_s, 1).section(u", xml:space"_s, 0, 0);
        EXPECT_EQ(items[i].contains(u"; actions{"_s), e.candidates > 0);
        EXPECT_EQ(e.candidates ? parameter.split(u"##"_s).size() : 0,
                  e.candidates ? 2 + 5 * e.candidates : 0);
    }
}

TEST_F(PlaylistDocument, SettingsComeFromTheUserDefaults) {
    fixture.defaults->setValue(NVSDataSourceExport::CGProjectsNamesKey, QStringList{u"One"_s, u"Two"_s});
    fixture.defaults->setValue(NVSDataSourceExport::RaceStartActionNameKey, u"Go"_s);
    fixture.defaults->setValue(NVSDataSourceExport::CandidateDisplayDurationKey, 2.25);
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2), raceWithCandidates(2, 3)}));
    const QStringList items = exportAndParse()->items();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0].contains(u"; durationInSeconds=4.250;"_s));
    EXPECT_TRUE(items[1].contains(u"; durationInSeconds=6.500;"_s));
    EXPECT_TRUE(items[0].contains(u"actions{action[name=Go,"_s));
    EXPECT_EQ(items[0].count(u"itemCGProject{projectName="_s), 2);
    EXPECT_EQ(runningProject(items[0]), 2);
    // Three candidates, two project names: nothing runs.
    EXPECT_EQ(runningProject(items[1]), 0);
}

TEST_F(PlaylistDocument, ColumnTypesAndWinnerMarks) {
    fixture.addColumn(u"Name"_s, u"/Election/Race[*]/Candidate[1]/LastName"_s, 0);
    fixture.addColumn(u"Photo"_s, u"/Election/Race[*]/Candidate[1]/FirstName"_s, 1);
    fixture.addColumn(u"Tint"_s, u"/Election/Race[*]/Candidate[1]/Votes"_s, 2);
    fixture.addColumn(u"Won"_s, u"/Election/Race[*]/Candidate[1]/Winner"_s, 0);
    fixture.addColumn(u"WonColor"_s, u"/Election/Race[*]/Candidate[1]/Winner/text()"_s, 2);

    const QString marks[] = {u"W"_s, u"w"_s, u"x"_s, QString(), u"ww"_s, u" W"_s};
    std::vector<Race> races;
    for (const QString& mark : marks) {
        Race race = raceWithCandidates(int(races.size()) + 1, 1);
        race.candidates[0]->winner = mark;
        races.push_back(race);
    }
    ASSERT_TRUE(fixture.load(races));
    const QStringList items = exportAndParse()->items();
    ASSERT_EQ(items.size(), std::ssize(marks));
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString hidden = i < 2 ? u"false"_s : u"true"_s;
        const QString mark = marks[i].isEmpty() ? QString() : u'=' + marks[i];
        EXPECT_TRUE(
            items[i].contains(u"itemValues{itemValue{itemName=Name; itemStringValue=l1}; "
                              "itemValue{itemName=Photo; itemStringValue=f1}; itemValue{itemName=Tint}; "
                              "itemValue{itemName=Won; itemStringValue"_s +
                              mark + u"; itemHiddenValue="_s + hidden +
                              u"}; itemValue{itemName=WonColor; itemHiddenValue="_s + hidden + u"}}"_s))
            << items[i].toStdString();
    }
}

// A control character anywhere used to reach the file unchanged (only the display name was
// cleaned), and the playout product cannot read such a file. Every value is cleaned now.
TEST_F(PlaylistDocument, CharactersXmlCannotHoldAreRemovedFromEveryValue) {
    // Feed texts are UTF-8 in the tree, so only settings and titles can hold an unpaired surrogate.
    const QString bad = QString::fromUtf8("\x01\x08\x0B\x0C\x1B") + QChar(0xFFFE);
    const auto dirty = [&](const char* text, bool setting = false) {
        return QString(QString::fromUtf8(text) + bad + (setting ? QString(QChar(0xD800)) : QString()) + u'!');
    };
    const auto dirtySetting = [&](const char* text) { return dirty(text, true); };

    fixture.addColumn(dirtySetting("Last"), u"/Election/Race[*]/Candidate[1]/LastName"_s);
    fixture.dataSource->columns().back()->setFormat(QString(
        bad + QLatin1String("<#") + fixture.dataSource->columns().back()->uniqueID() + QLatin1String("!>")));
    fixture.addColumn(u"Winner"_s, u"/Election/Race[*]/Candidate[1]/Winner"_s);
    fixture.defaults->setValue(NVSDataSourceExport::StillImagePathKey, dirtySetting("still"));
    fixture.defaults->setValue(NVSDataSourceExport::RaceStartActionNameKey, dirtySetting("start"));
    fixture.defaults->setValue(NVSDataSourceExport::CGProjectsNamesKey, QStringList{dirtySetting("project")});
    Race race{dirty("7"),
              dirty("name"),
              dirty("50%"),
              {Candidate{dirty("n"), dirty("first"), dirty("last"), dirty("9"), dirty("1.5"), dirty("w")}}};
    fixture.adopt({race});
    ASSERT_EQ(fixture.dataSource->countOfContentNodes(), 1u);

    const auto playlist = exportAndParse();
    EXPECT_EQ(
        playlist->items(),
        QStringList{u"playlistItem{uniqueID=7!; mediaFilePath[xml:space=preserve]=still!; displayName=name!; "
                    "isOffline=false; isStillImage=true; actions{action[name=start!, time=0.000000, "
                    "positionType=fromStart, parameter=NAME!##50%!##FIRST!##LAST!##9!##1.5!##W!, "
                    "xml:space=preserve]}; durationInSeconds=9.000; fileDurationInSeconds=9.000; "
                    "itemCGProjects{itemCGProject{projectName=project!; shouldRun=true; "
                    "itemValues{itemValue{itemName=Last!; itemStringValue=last!}; "
                    // The cell reads "w…!", which is not the winner mark.
                    "itemValue{itemName=Winner; itemStringValue=w!; itemHiddenValue=true}}}}}"_s});
    EXPECT_FALSE(playlist->bytes().contains(QByteArray::fromRawData("\xEF\xBF\xBD", 3)))
        << "no replacement characters";
}

// The export writes its items as text; they must be what printing the same items made as nodes
// gives, byte for byte: escapes in texts and attribute values, empty and missing texts, an item
// without candidates, an element left without children, non-ASCII and upper-casing beyond ASCII.
TEST_F(PlaylistDocument, ItemsWrittenAsTextAreThePrintOfTheirNodes) {
    const QString tricky = u"a&b <c> \"q\" 'a'\r\n\tz – ß"_s;
    Race odd = raceWithCandidates(7, 2);
    odd.name1 = tricky;
    odd.precincts = QString();
    odd.candidates[0]->lastName = tricky;
    odd.candidates[1]->winner = u"W"_s;
    odd.candidates[1]->votes = QString();
    const std::vector<Race> races{odd, raceWithCandidates(8, 0), raceWithCandidates(9, 6)};
    fixture.defaults->setValue(NVSDataSourceExport::StillImagePathKey, u"/stills/<a&b>\t\"x\".png"_s);
    fixture.defaults->setValue(NVSDataSourceExport::RaceStartActionNameKey, u"go \"now\" & then"_s);
    for (const bool withColumns : {false, true}) {
        SCOPED_TRACE(withColumns ? "with columns" : "without columns");
        if (withColumns) {
            fixture.addColumn(tricky, u"/Election/Race[*]/Candidate[1]/LastName"_s, 0);
            fixture.addColumn(u"Photo"_s, u"/Election/Race[*]/Candidate[2]/FirstName"_s, 1);
            fixture.addColumn(u"Tint"_s, u"/Election/Race[*]/Candidate[1]/Votes"_s, 2);
            fixture.addColumn(u"Won"_s, u"/Election/Race[*]/Candidate[2]/Winner"_s, 0);
            fixture.addColumn(u"Missing"_s, u"/Election/Race[*]/Nothing"_s, 0);
        }
        fixture.adopt(races);
        bool ok = false;
        const QString path = fixture.exportPlaylist(u"text.xpls"_s, &ok);
        ASSERT_TRUE(ok);

        const std::unique_ptr<platform::XmlDocument> nodes = NVSDataSourceExport::playlistShell();
        const PlaylistExportSettings settings = PlaylistExportSettings::fromUserDefaults(*fixture.defaults);
        for (const NVSCGDataSourceNodePtr& row : fixture.dataSource->contentNodes())
            NVSDataSourceExport::playlistItemXMLElementFromSourceNode(
                nodes->rootElement(), *row, fixture.dataSource->columns(), settings);
        EXPECT_EQ(testing_support::readFile(path).toStdString(), nodes->toPrettyBytes().toStdString());
    }
}
