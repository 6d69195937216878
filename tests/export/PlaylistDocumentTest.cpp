#include "PlaylistTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "export/NVSDataSourceExport.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace playlist_test;
using P = ParsedPlaylist;
using Attributes = QList<QPair<QString, QString>>;

namespace {

const QStringList ItemChildren{u"uniqueID"_s,          u"mediaFilePath"_s,         u"displayName"_s,
                               u"isOffline"_s,         u"isStillImage"_s,          u"actions"_s,
                               u"durationInSeconds"_s, u"fileDurationInSeconds"_s, u"itemCGProjects"_s};

QStringList withoutActions() {
    QStringList names = ItemChildren;
    names.removeAll(u"actions"_s);
    return names;
}

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
    static int runningProject(xmlNodePtr item) {
        int running = 0;
        int k = 0;
        for (xmlNodePtr project : P::elements(P::child(item, "itemCGProjects"))) {
            ++k;
            const bool should = P::text(P::child(project, "shouldRun")) == QLatin1String("true");
            EXPECT_EQ(P::child(project, "itemValues") != nullptr, should) << "project " << k;
            if (should) {
                EXPECT_EQ(running, 0) << "two running projects";
                running = k;
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
    ASSERT_TRUE(empty->root());
    EXPECT_STREQ(reinterpret_cast<const char*>(empty->root()->name), "playlistDocument");
    EXPECT_EQ(P::attributes(empty->root()),
              (Attributes{{u"xmlns:xsi"_s, u"http://www.w3.org/2001/XMLSchema-instance"_s},
                          {u"xsi:noNamespaceSchemaLocation"_s, NVSDataSourceExport::SchemaLocation}}));
    EXPECT_TRUE(
        NVSDataSourceExport::SchemaLocation.endsWith(QLatin1String("/XSDs/VistacastVideoSchema40.xsd")));
    EXPECT_TRUE(empty->items().empty());

    Race race = raceWithCandidates(42, 3);
    race.name1 = QString::fromUtf8("Governor – Straße");
    race.precincts = u"42% in"_s;
    race.candidates[1]->winner = u"w"_s;
    ASSERT_TRUE(fixture.load({race}));
    fixture.defaults->setValue(NVSDataSourceExport::StillImagePathKey, u" /media/still one.png "_s);

    const auto playlist = exportAndParse();
    ASSERT_EQ(playlist->items().size(), 1u);
    xmlNodePtr item = playlist->items().front();
    EXPECT_EQ(P::elementNames(item), ItemChildren);
    EXPECT_EQ(P::text(P::child(item, "uniqueID")), u"42"_s);
    xmlNodePtr media = P::child(item, "mediaFilePath");
    EXPECT_EQ(P::text(media), u" /media/still one.png "_s);
    EXPECT_EQ(P::attributes(media), (Attributes{{u"xml:space"_s, u"preserve"_s}}));
    EXPECT_EQ(P::text(P::child(item, "displayName")), QString::fromUtf8("Governor – Straße"));
    EXPECT_EQ(P::text(P::child(item, "isOffline")), u"false"_s);
    EXPECT_EQ(P::text(P::child(item, "isStillImage")), u"true"_s);

    xmlNodePtr actions = P::child(item, "actions");
    ASSERT_EQ(P::elementNames(actions), QStringList{u"action"_s});
    xmlNodePtr action = P::elements(actions).front();
    const QString parameter =
        QString::fromUtf8("GOVERNOR – STRASSE##42% IN##F1##L1##100##1.5####F2##L2##200##2.5##W##"
                          "F3##L3##300##3.5##");
    EXPECT_EQ(P::attributes(action), (Attributes{{u"name"_s, u"03_Race_Start"_s},
                                                 {u"time"_s, u"0.000000"_s},
                                                 {u"positionType"_s, u"fromStart"_s},
                                                 {u"parameter"_s, parameter},
                                                 {u"xml:space"_s, u"preserve"_s}}));
    EXPECT_EQ(parameter.split(QLatin1String("##")).size(), 17);
    EXPECT_TRUE(P::elements(action).empty());
    EXPECT_EQ(P::text(P::child(item, "durationInSeconds")), u"16.000"_s);
    EXPECT_EQ(P::text(P::child(item, "fileDurationInSeconds")), u"16.000"_s);

    const std::vector<xmlNodePtr> projects = P::elements(P::child(item, "itemCGProjects"));
    const QStringList names = fixture.defaults->stringArrayForKey(NVSDataSourceExport::CGProjectsNamesKey);
    ASSERT_EQ(projects.size(), 6u);
    for (std::size_t k = 0; k < projects.size(); ++k) {
        const bool third = k == 2;
        EXPECT_EQ(P::elementNames(projects[k]),
                  third ? QStringList({u"projectName"_s, u"shouldRun"_s, u"itemValues"_s})
                        : QStringList({u"projectName"_s, u"shouldRun"_s}));
        EXPECT_EQ(P::text(P::child(projects[k], "projectName")), names.at(qsizetype(k)));
        EXPECT_EQ(P::text(P::child(projects[k], "shouldRun")), third ? u"true"_s : u"false"_s);
    }
    EXPECT_EQ(names.at(2), u"Race_3_candidates"_s);
    const std::vector<xmlNodePtr> values = P::elements(P::child(projects[2], "itemValues"));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(P::elementNames(values[0]), QStringList({u"itemName"_s, u"itemStringValue"_s}));
    EXPECT_EQ(P::text(P::child(values[0], "itemName")), u"Race"_s);
    EXPECT_EQ(P::text(P::child(values[0], "itemStringValue")), QString::fromUtf8("Governor – Straße"));
    EXPECT_EQ(P::text(P::child(values[1], "itemName")), u"First"_s);
    EXPECT_EQ(P::text(P::child(values[1], "itemStringValue")), u"l1"_s);
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
    const auto playlist = exportAndParse();
    const std::vector<xmlNodePtr> items = playlist->items();
    ASSERT_EQ(items.size(), std::size(expected));
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("race " + std::to_string(i));
        const auto& e = expected[i];
        EXPECT_EQ(P::elementNames(items[i]), e.candidates ? ItemChildren : withoutActions());
        EXPECT_EQ(P::text(P::child(items[i], "durationInSeconds")), e.duration);
        EXPECT_EQ(runningProject(items[i]), e.project);
        if (e.candidates) {
            const QString parameter =
                P::attributes(P::elements(P::child(items[i], "actions")).front()).at(3).second;
            EXPECT_EQ(parameter.split(QLatin1String("##")).size(), 2 + 5 * e.candidates)
                << parameter.toStdString();
        }
    }
}

TEST_F(PlaylistDocument, SettingsComeFromTheUserDefaults) {
    fixture.defaults->setValue(NVSDataSourceExport::CGProjectsNamesKey, QStringList{u"One"_s, u"Two"_s});
    fixture.defaults->setValue(NVSDataSourceExport::RaceStartActionNameKey, u"Go"_s);
    fixture.defaults->setValue(NVSDataSourceExport::CandidateDisplayDurationKey, 2.25);
    ASSERT_TRUE(fixture.load({raceWithCandidates(1, 2), raceWithCandidates(2, 3)}));
    const auto playlist = exportAndParse();
    const std::vector<xmlNodePtr> items = playlist->items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(P::text(P::child(items[0], "durationInSeconds")), u"4.250"_s);
    EXPECT_EQ(P::text(P::child(items[1], "durationInSeconds")), u"6.500"_s);
    EXPECT_EQ(P::attributes(P::elements(P::child(items[0], "actions")).front()).at(0).second, u"Go"_s);
    EXPECT_EQ(P::elementNames(P::child(items[0], "itemCGProjects")),
              QStringList({u"itemCGProject"_s, u"itemCGProject"_s}));
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
    const auto playlist = exportAndParse();
    ASSERT_EQ(playlist->items().size(), std::size(marks));
    for (std::size_t i = 0; i < std::size(marks); ++i) {
        SCOPED_TRACE("mark \"" + marks[i].toStdString() + "\"");
        const QString hidden = i < 2 ? u"false"_s : u"true"_s;
        xmlNodePtr project = P::elements(P::child(playlist->items()[i], "itemCGProjects")).front();
        const std::vector<xmlNodePtr> values = P::elements(P::child(project, "itemValues"));
        ASSERT_EQ(values.size(), 5u);
        const QStringList nameAndString{u"itemName"_s, u"itemStringValue"_s};
        EXPECT_EQ(P::elementNames(values[0]), nameAndString);
        EXPECT_EQ(P::text(values[0]->children->next), u"l1"_s);
        EXPECT_EQ(P::elementNames(values[1]), nameAndString);
        EXPECT_EQ(P::text(values[1]->children->next), u"f1"_s);
        EXPECT_EQ(P::elementNames(values[2]), QStringList{u"itemName"_s});
        EXPECT_EQ(P::elementNames(values[3]), QStringList(nameAndString) << u"itemHiddenValue"_s);
        EXPECT_EQ(P::text(P::child(values[3], "itemStringValue")), marks[i]);
        EXPECT_EQ(P::text(P::child(values[3], "itemHiddenValue")), hidden);
        EXPECT_EQ(P::elementNames(values[4]), QStringList({u"itemName"_s, u"itemHiddenValue"_s}));
        EXPECT_EQ(P::text(P::child(values[4], "itemHiddenValue")), hidden);
    }
}

// A control character anywhere used to reach the file unchanged (only the display name was
// cleaned), and the playout product cannot read such a file. Every value is cleaned now.
TEST_F(PlaylistDocument, CharactersXmlCannotHoldAreRemovedFromEveryValue) {
    // Feed texts are UTF-8 in the tree, so only settings and titles can hold an unpaired surrogate.
    const QString bad = QString::fromUtf8("\x01\x08\x0B\x0C\x1B") + QChar(0xFFFE);
    const QString badSetting = QString(bad + QChar(0xD800));
    auto dirty = [&](const char* text) {
        return QString(QString::fromUtf8(text) + bad + QLatin1String("!"));
    };
    auto dirtySetting = [&](const char* text) {
        return QString(QString::fromUtf8(text) + badSetting + QLatin1String("!"));
    };
    auto clean = [](const char* text) { return QString(QString::fromUtf8(text) + QLatin1String("!")); };

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
    ASSERT_EQ(playlist->items().size(), 1u);
    xmlNodePtr item = playlist->items().front();
    EXPECT_EQ(P::text(P::child(item, "uniqueID")), clean("7"));
    EXPECT_EQ(P::text(P::child(item, "mediaFilePath")), clean("still"));
    EXPECT_EQ(P::text(P::child(item, "displayName")), clean("name"));
    const Attributes action = P::attributes(P::elements(P::child(item, "actions")).front());
    EXPECT_EQ(action.at(0).second, clean("start"));
    EXPECT_EQ(action.at(3).second, QString::fromUtf8("NAME!##50%!##FIRST!##LAST!##9!##1.5!##W!"));
    xmlNodePtr project = P::elements(P::child(item, "itemCGProjects")).front();
    EXPECT_EQ(P::text(P::child(project, "projectName")), clean("project"));
    const std::vector<xmlNodePtr> values = P::elements(P::child(project, "itemValues"));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(P::text(P::child(values[0], "itemName")), clean("Last"));
    EXPECT_EQ(P::text(P::child(values[0], "itemStringValue")), clean("last"));
    EXPECT_EQ(P::text(P::child(values[1], "itemStringValue")), clean("w"));
    // The cell reads "w…!", which is not the winner mark.
    EXPECT_EQ(P::text(P::child(values[1], "itemHiddenValue")), u"true"_s);
    EXPECT_FALSE(playlist->bytes().contains(QByteArray::fromRawData("\xEF\xBF\xBD", 3)))
        << "no replacement characters";
}
