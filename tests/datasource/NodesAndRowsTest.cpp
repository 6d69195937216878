#include "DataSourceTestSupport.h"
#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceDelegate.h"
#include "datasource/NVSCGDataSourceFeed.h"
#include "datasource/NVSCGDataSourceNodeNotifier.h"
#include "platform/NotificationCenter.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

using namespace datasource_test;

namespace {

struct CountingDelegate : NVSCGDataSourceDelegate {
    int calls = 0;
    void dataSourceContentChanged(NVSCGDataSource*) override { ++calls; }
};

class Rows : public ::testing::Test {
  protected:
    void SetUp() override {
        observation = platform::NotificationObservation(
            platform::NotificationCenter::defaultCenter(), NVSCGDataSourceContentUpdatedNotificationName,
            &dataSource, [this](const platform::Notification&) { ++notifications; });
        dataSource.setDelegate(&delegate);
    }

    void load(const QByteArray& xml) {
        dataSource.processXMLDocument(platform::XmlDocument::parse(xml));
        drainMainQueue();
    }

    /// A JSON value's node: "title path=value" for a leaf that can be chosen, otherwise
    /// "title path{child; …}".
    static QString outline(const NVSCGDataSourceNode& node) {
        const QString head = node.title() + u' ' + node.XPath();
        if (node.selectable())
            return head + u'=' + node.stringValue();
        QStringList children;
        for (const auto& child : node.children())
            children << outline(*child);
        return head + u'{' + children.join(u"; "_s) + u'}';
    }

    NVSCGDataSource dataSource;
    CountingDelegate delegate;
    int notifications = 0;
    platform::NotificationObservation observation;
};

} // namespace

// Before any XML there are no rows, and nothing is announced.
TEST_F(Rows, ThreeRacesGiveThreeRowsInDocumentOrder) {
    dataSource.setXPath(u"/feed/race[*]"_s);
    EXPECT_EQ(dataSource.countOfContentNodes(), 0u);
    EXPECT_EQ(notifications + delegate.calls, 0);
    load(electionFeed(3));
    ASSERT_EQ(dataSource.countOfContentNodes(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto row = dataSource.contentNodeAtIndex(i);
        EXPECT_EQ(row->rowIndex(), i);
        EXPECT_EQ(row->XPath(), u"/feed/race[%1]"_s.arg(i + 1));
        EXPECT_EQ(row->dataSource(), &dataSource);
    }
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(notifications, 1);

    // The same XPath on the same tree changes nothing and announces nothing.
    dataSource.setXPath(u"/feed/race[*]"_s);
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(notifications, 1);

    // An XPath matching nothing empties the rows, and says so.
    dataSource.setXPath(u"/feed/nothing[*]"_s);
    EXPECT_EQ(dataSource.countOfContentNodes(), 0u);
    EXPECT_EQ(notifications, 2);
}

// A feed with a single instance of the repeating element has no position predicate on it.
TEST_F(Rows, OneRaceStillGivesItsRowAndItsCells) {
    dataSource.setXPath(u"/feed/race[*]"_s);
    dataSource.addColumnWithTitle(u"Name"_s, u"/feed/race[*]/Name"_s);
    dataSource.addColumnWithTitle(u"Votes"_s, u"/feed/race[*]/candidate[2]/Votes"_s);
    load(electionFeed(1));
    ASSERT_EQ(dataSource.countOfContentNodes(), 1u);
    const auto row = dataSource.contentNodeAtIndex(0);
    EXPECT_EQ(row->XPath(), u"/feed/race"_s);
    EXPECT_EQ(row->stringValueForColum(*dataSource.columnAtIndex(0)), u"Race 1"_s);
    EXPECT_EQ(row->stringValueForColum(*dataSource.columnAtIndex(1)), u"102"_s);
    // The leaf the column reads is marked selected in the tree, and so is a leaf outside the
    // rows that a column reads, on every new tree of the feed.
    EXPECT_TRUE(row->children().front()->selected());
    dataSource.addColumnWithTitle(u"Title"_s, u"/feed/title"_s);
    for (int refresh = 0; refresh < 2; ++refresh) {
        const auto root = dataSource.fileContentNodes().front();
        EXPECT_TRUE(root->children().front()->selected()) << refresh;
        EXPECT_FALSE(root->children().front()->children().size()) << refresh;
        load(electionFeed(1));
    }
}

TEST_F(Rows, WildcardRule) {
    struct Case {
        const char* path;
        const char* dataSourceXPath;
        const char* expected;
    };
    const Case cases[] = {
        {"/feed/race[3]", "/feed/race[*]", "/feed/race[*]"},
        {"/feed/race[3]/Name", "/feed/race[*]", "/feed/race[*]/Name"},
        {"/FEED/Race[12]/x[2]", "/feed/race[*]", "/FEED/Race[*]/x[2]"},
        {"/feed", "/feed/race[*]", "/feed"},
        {"/feed/races[1]", "/feed/race[*]", "/feed/races[1]"},
        {"/feed/race", "/feed/race[*]", "/feed/race[*]"},
        {"/feed/race/Name", "/feed/race[*]", "/feed/race[*]/Name"},
        {"/a[2]/b[3]", "/a[*]/b[*]", "/a[2]/b[3]"}, // earlier wildcards are matched literally
        {"/a[2]/b[3]", "/a[*]/b", "/a[*]/b[3]"},
        {"/a[x]", "/a[*]", "/a[x]"},
        {"/a[2]", "/a", "/a[2]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NVSCGDataSourceNode::wildcardXPath(QString::fromUtf8(c.path),
                                                     QString::fromUtf8(c.dataSourceXPath)),
                  QString::fromUtf8(c.expected))
            << c.path << " with " << c.dataSourceXPath;
    }
}

// A column read straight from its row's element must be exactly a path below the row: anything
// else goes the long way (which also knows "[1]" and named paths).
TEST_F(Rows, ColumnsBelowTheRowAreFoundWithoutTheWholePath) {
    const struct {
        const char* identifier;
        const char* rowPath;
        const char* number;
        qsizetype below;
    } cases[] = {
        {"/r/item[*]/title", "/r/item[3]", "3", 11},  {"/r/item[*]/a/b[2]", "/r/item[12]", "12", 11},
        {"/r/item[*]/title", "/r/item[31]", "3", -1}, {"/r/item[*]/a[*]/b", "/r/item[3]", "3", -1},
        {"/r/item[*]", "/r/item[3]", "3", -1},        {"/r/item[*]/", "/r/item[3]", "3", -1},
        {"/r/item[*]/title", "/r/item", "1", -1},     {"/r/other[*]/title", "/r/item[3]", "3", -1},
        {"/r/item", "/r/item[3]/x", "3", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NVSCGDataSourceNode::pathBelowRow(QString::fromUtf8(c.identifier),
                                                    QString::fromUtf8(c.rowPath),
                                                    QString::fromUtf8(c.number)),
                  c.below)
            << c.identifier << " for " << c.rowPath;
}

TEST_F(Rows, LocationPathsAreLibxmlsOwn) {
    const QByteArray xml = "<r xmlns:p='urn:p'><a/><b/><a><c/><c/><p:c/></a><p:a/><p:a/>"
                           "<d xmlns='urn:d'><e/><f/></d><g><h xmlns='urn:h'/></g></r>";
    // Positions recorded after the parse, and while parsing (a refresh's feed).
    std::vector<QString> namedPaths[2];
    for (const bool whileParsing : {false, true}) {
        auto feed = whileParsing
                        ? NVSCGDataSourceFeed::parse(QByteArray(xml))
                        : std::make_shared<NVSCGDataSourceFeed>(
                              std::shared_ptr<platform::XmlDocument>(platform::XmlDocument::parse(xml)));
        const auto root = NVSCGDataSourceFeed::buildTree(feed);
        std::vector<const NVSCGDataSourceNode*> nodes{root.get()};
        root->forEachDescendant([&](const NVSCGDataSourceNode& node) { nodes.push_back(&node); });
        ASSERT_EQ(nodes.size(), 14u);
        for (const NVSCGDataSourceNode* node : nodes) {
            EXPECT_EQ(node->XPath(), platform::XPathEvaluator::locationPath(node->xmlElement()));
            namedPaths[whileParsing].push_back(node->namedXPath());
        }
    }
    EXPECT_EQ(namedPaths[0], namedPaths[1]);
}

// Feeds with a default namespace: rows and cells addressed by element names; location paths
// ("/*/*[*]") keep selecting what they selected before.
TEST_F(Rows, DefaultNamespaceElementsAreAddressedByName) {
    const QByteArray atom =
        "<feed xmlns='http://www.w3.org/2005/Atom' xmlns:media='urn:media'><title>F</title>"
        "<entry><title>E1</title><media:thumbnail url='u1'/><summary>S1</summary></entry>"
        "<entry><title>E2</title><media:thumbnail url='u2'/><summary>S2</summary></entry></feed>";
    const QByteArray rdf =
        "<rdf:RDF xmlns:rdf='urn:rdf' xmlns='urn:rss' xmlns:dc='urn:dc'><channel><title>C</title>"
        "</channel><item><title>I1</title><dc:date>D1</dc:date></item>"
        "<item><title>I2</title><dc:date>D2</dc:date></item></rdf:RDF>";
    const struct Case {
        QByteArray xml;
        const char* rowPath;
        std::vector<const char*> columns;
        std::vector<std::vector<const char*>> cells; // per row, per column
        bool byName;
    } cases[] = {
        {atom,
         "/feed/entry[*]",
         {"/feed/entry[*]/title", "/feed/entry[*]/media:thumbnail/@url", "/feed/entry[*]/summary"},
         {{"E1", "u1", "S1"}, {"E2", "u2", "S2"}},
         true},
        {"<feed xmlns='urn:a'><entry><title>Only</title></entry></feed>",
         "/feed/entry[*]",
         {"/feed/entry[*]/title"},
         {{"Only"}},
         true},
        {rdf,
         "/rdf:RDF/item[*]",
         {"/rdf:RDF/item[*]/title", "/rdf:RDF/item[*]/dc:date"},
         {{"I1", "D1"}, {"I2", "D2"}},
         true},
        // Location paths keep selecting what they did (their cells follow the "*" rule of columns).
        {atom, "/*/*[*]", {}, {{}, {}, {}}, false},
        {atom, "/feed/missing[*]", {}, {}, false},
    };
    for (const Case& c : cases) {
        NVSCGDataSource source;
        source.setXPath(QString::fromUtf8(c.rowPath));
        for (const char* column : c.columns)
            source.addColumnWithTitle(u"c"_s, QString::fromUtf8(column));
        source.processXMLDocument(platform::XmlDocument::parse(c.xml));
        drainMainQueue();
        ASSERT_EQ(source.countOfContentNodes(), c.cells.size()) << c.rowPath;
        EXPECT_EQ(source.addressesRowsByName(), c.byName) << c.rowPath;
        for (std::size_t row = 0; row < c.cells.size(); ++row) {
            const auto node = source.contentNodeAtIndex(row);
            for (std::size_t column = 0; column < c.columns.size(); ++column) {
                const auto found = source.columnWithIdentifier(QString::fromUtf8(c.columns[column]));
                ASSERT_TRUE(found) << c.columns[column];
                EXPECT_EQ(node->stringValueForColum(*found), QString::fromUtf8(c.cells[row][column]))
                    << c.columns[column] << " row " << row;
            }
            // The first column's element is checked in the content tree.
            if (!c.columns.empty() && !node->children().empty()) {
                EXPECT_TRUE(node->children().front()->selected()) << c.rowPath << " row " << row;
            }
        }
    }
}

// Cells read on many threads at once, each row on one of them (as a long listing reads them),
// are those read on one thread: each thread gets an evaluator of its own, and threads beyond the
// ones the feed keeps an evaluator for make one for each lookup.
TEST_F(Rows, CellsReadOnManyThreadsAtOnceAreThoseReadOnOne) {
    dataSource.setXPath(u"/feed/race[*]"_s);
    for (const char* column : {"/feed/race[*]/Name", "/feed/race[*]/candidate[2]/Last",
                               "/feed/race[*]/candidate[3]/Votes", "/feed/race[*]/candidate[last()]/Last"})
        dataSource.addColumnWithTitle(u"c"_s, QString::fromUtf8(column));
    load(electionFeed(150, 3));
    const auto rows = dataSource.contentNodes();
    const auto columns = dataSource.columns();
    ASSERT_EQ(rows.size(), 150u);
    const auto cell = [&](std::size_t index) {
        return rows[index / columns.size()]->stringValueForColum(*columns[index % columns.size()]);
    };
    std::vector<QString> expected;
    for (std::size_t index = 0; index < rows.size() * columns.size(); ++index)
        expected.push_back(cell(index));
    ASSERT_EQ(expected[5], u"L2_2"_s);
    for (const std::size_t threads : {2, 12}) {
        std::vector<QString> read(expected.size());
        std::vector<std::thread> running;
        for (std::size_t t = 0; t < threads; ++t) {
            running.emplace_back([&, t] {
                for (std::size_t row = t; row < rows.size(); row += threads)
                    for (std::size_t c = 0; c < columns.size(); ++c)
                        read[row * columns.size() + c] = cell(row * columns.size() + c);
            });
        }
        for (std::thread& thread : running)
            thread.join();
        EXPECT_EQ(read, expected) << threads << " threads";
    }
}

TEST_F(Rows, XPathsListWildcardsFirstThenEveryPath) {
    load("<rss><channel><title>T</title><item><t>1</t></item><item><t>2</t></item></channel></rss>");
    const QStringList expected{u"/rss/channel/item[*]"_s,   u"/rss/channel"_s,
                               u"/rss/channel/title"_s,     u"/rss/channel/item[1]"_s,
                               u"/rss/channel/item[1]/t"_s, u"/rss/channel/item[2]"_s,
                               u"/rss/channel/item[2]/t"_s};
    EXPECT_EQ(dataSource.XPaths(), expected);
}

TEST_F(Rows, StringValueForXPath) {
    dataSource.setXPath(u"/feed/race[*]"_s);
    load(electionFeed(2));
    const auto row = dataSource.contentNodeAtIndex(1);
    EXPECT_EQ(row->stringValueForXPath(u"/feed/race[2]/candidate[1]/Last"_s), u"L2_1"_s);
    EXPECT_EQ(row->stringValueForXPath(u"/feed/race[2]/missing"_s), u""_s);
    EXPECT_EQ(row->stringValueForXPath(u"/feed/race[2]/count(*)"_s), u""_s);
    StderrCapture log;
    EXPECT_EQ(row->stringValueForXPath(u"/feed/race[2]"_s), u""_s);
    EXPECT_FALSE(log.text().contains(u"Invalid request"_s));
    EXPECT_EQ(row->stringValueForXPath(u"/feed/title"_s), u""_s);
    EXPECT_TRUE(log.text().contains(
        u"Invalid request. Requesting XPath /feed/title while Node XPath is /feed/race[2]"_s));

    // "/feed/race" is a prefix of "/feed/races/…": only a step below the node counts.
    load("<feed><race><x>in</x></race><races><x>out</x></races></feed>");
    const auto race = dataSource.contentNodeAtIndex(0);
    ASSERT_EQ(race->XPath(), u"/feed/race"_s);
    EXPECT_EQ(race->stringValueForXPath(u"/feed/races/x"_s), u""_s);
    EXPECT_EQ(log.text().count(u"Invalid request"_s), 2);
    EXPECT_EQ(race->stringValueForXPath(u"/feed/race/x"_s), u"in"_s);
}

TEST_F(Rows, JsonValuesBecomeNodes) {
    const struct {
        const char* json;
        QStringList rows;
    } cases[] = {
        {R"([{"z":"first","a":2.5},{"flag":true,"none":null},[1,2]])",
         {u"Index 0 /0{z /0/z=first; a /0/a=2.5}"_s, u"Index 1 /1{flag /1/flag=true; none /1/none=null}"_s,
          u"Index 2 /2{Index 0 /2/0=1; Index 1 /2/1=2}"_s}},
        {R"({"b":{},"a":[]})", {u"b /b{}"_s, u"a /a{}"_s}},
        {"42", {u" =42"_s}},
    };
    for (const auto& c : cases) {
        dataSource.processJSONObject(nlohmann::ordered_json::parse(c.json));
        drainMainQueue();
        QStringList rows;
        for (const auto& node : dataSource.contentNodes())
            rows << outline(*node);
        EXPECT_EQ(rows, c.rows) << c.json;
    }
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(delegate.calls, 0);
}

TEST_F(Rows, JsonLeavesEarlierXmlTreeForLaterXPathChanges) {
    load(electionFeed(2));
    dataSource.processJSONObject(nlohmann::ordered_json::parse("[1]"));
    drainMainQueue();
    ASSERT_EQ(dataSource.countOfContentNodes(), 1u);
    ASSERT_NE(dataSource.xmlDocument(), nullptr);
    dataSource.setXPath(u"/feed/race[*]"_s);
    ASSERT_EQ(dataSource.countOfContentNodes(), 2u);
    EXPECT_EQ(dataSource.contentNodeAtIndex(0)->XPath(), u"/feed/race[1]"_s);
    EXPECT_EQ(dataSource.contentNodeAtIndex(1)->XPath(), u"/feed/race[2]"_s);
}

TEST_F(Rows, ActiveRowsAndTheirSignals) {
    dataSource.setXPath(u"/feed/race[*]"_s);
    load(electionFeed(3));
    const auto rows = dataSource.contentNodes();
    std::vector<int> changes(3, 0);
    for (int i = 0; i < 3; ++i)
        QObject::connect(rows[i]->notifier(), &NVSCGDataSourceNodeNotifier::isActiveRowChanged,
                         [&changes, i] { ++changes[i]; });
    EXPECT_EQ(dataSource.firstActiveRow(), NVSNotFound);
    dataSource.setActiveRow(1);
    EXPECT_TRUE(rows[1]->isActiveRow());
    EXPECT_EQ(dataSource.firstActiveRow(), 1u);
    dataSource.setActiveRows({0, 1});
    EXPECT_EQ(changes, (std::vector<int>{1, 1, 0}));
    // Removing the first row moves the others up: row 2 becomes index 1, which is active.
    dataSource.removeContentNodesAtIndexes({0});
    EXPECT_EQ(rows[2]->rowIndex(), 1u);
    EXPECT_TRUE(rows[2]->isActiveRow());
    EXPECT_EQ(changes[2], 1);
    EXPECT_EQ(rows[0]->dataSource(), nullptr);
    EXPECT_EQ(rows[0]->children().front()->dataSource(), nullptr);
}

TEST_F(Rows, ListSignalsAnnounceInsertRemoveAndReset) {
    std::vector<std::string> events;
    QObject::connect(&dataSource, &NVSCGDataSource::contentNodesInserted,
                     [&](const NVSIndexSet& s) { events.push_back("insert " + std::to_string(s.size())); });
    QObject::connect(&dataSource, &NVSCGDataSource::contentNodesRemoved,
                     [&](const NVSIndexSet& s) { events.push_back("remove " + std::to_string(s.size())); });
    QObject::connect(&dataSource, &NVSCGDataSource::contentNodesReset, [&] { events.push_back("reset"); });
    int XPathsChanges = 0;
    QObject::connect(&dataSource, &NVSCGDataSource::XPathsChanged, [&] { ++XPathsChanges; });
    dataSource.setXPath(u"/feed/race[*]"_s);
    load(electionFeed(3));
    const auto rows = dataSource.contentNodes();
    dataSource.removeContentNodesAtIndexes({0, 2, 7});
    dataSource.insertContentNodes({rows[0], rows[2]}, {0, 2});
    EXPECT_EQ(events, (std::vector<std::string>{"reset", "reset", "remove 2", "insert 2"}));
    EXPECT_EQ(XPathsChanges, 4);
    EXPECT_EQ(dataSource.contentNodes(), rows);
}
