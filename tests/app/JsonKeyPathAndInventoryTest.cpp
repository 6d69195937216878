#include "app/FeedInventory.h"
#include "app/GraflinkVariable.h"
#include "app/VariableEvaluator.h"
#include "platform/JsonFeed.h"
#include "platform/JsonKeyPath.h"
#include "platform/XmlDocument.h"
#include "testkit/TestHelpers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using platform::JsonValue;

TEST(JsonKeyPath, SplitsLikePlatformPathComponents) {
    const std::vector<std::pair<QString, QStringList>> cases{
        {u"a/b/c"_s, {u"a"_s, u"b"_s, u"c"_s}},
        {u"a//b/"_s, {u"a"_s, u"b"_s}},
        {u"/a"_s, {u"/"_s, u"a"_s}},
        {u"/"_s, {u"/"_s}},
        {QString(), {}},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(platform::JsonKeyPath::components(path), expected) << path.toStdString();
}

// Array indexes are read as numbers are everywhere: a leading number, clamped, or 0. Every
// other rule of the tree's lookup is held against the parsed feed's in the next test.
TEST(JsonKeyPath, ReadsArrayIndexesAsLeadingNumbers) {
    const JsonValue feed =
        JsonValue::parse(R"({"a":{"b":[{"c":1},{"c":2}]},"/":{"x":"slash"},"list":[10,20,30]})");
    auto at = [&](const char* path) { return platform::JsonKeyPath::valueAt(feed, QString::fromUtf8(path)); };
    ASSERT_TRUE(at("a/b/1/c"));
    EXPECT_EQ(*at("a/b/1/c"), 2);
    EXPECT_EQ(*at("/x"), "slash") << "a leading slash matches a key that is a single slash";
    EXPECT_EQ(*at("list/x"), 10) << "a component that is not a number reads as index 0";
    EXPECT_EQ(*at("list/2abc"), 30) << "the leading number counts";
    EXPECT_FALSE(at("list/99999999999")) << "clamped to 32 bits, still outside";
}

// Variables read a feed in simdjson's form without building its tree: every value they take must
// be the one the tree gives, through long (listed) and short arrays, repeated keys and misses.
TEST(JsonKeyPath, VariablesTakeTheSameValuesFromAParsedFeedAsFromItsTree) {
    QByteArray text =
        R"({"a":{"b":[{"c":1},{"c":2.5,"c":"last"}]},"/":{"x":"slash"},"n":null,"s":"12.5","long":[)";
    for (int i = 0; i < 40; ++i)
        text += (i ? "," : "") + QByteArray::number(i * 10);
    text += R"(],"nested":[[{"k":[true,{"deep":"yes"}]}]]})";
    const JsonValue tree = JsonValue::parse(text.constData());
    const std::unique_ptr<platform::JsonFeed> feed = platform::JsonFeed::parse(text);
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->toJsonValue(), tree);

    // Separated by "|": the empty path is one of them.
    const QStringList paths =
        u"a/b/1/c|a/b/0|a/b|/x|n|long/x|long/2abc|long/39|long/40|long/-1|long/17|"
        "long/99999999999|a/missing|a/b/0/c/deeper|nested/0/0/k/1/deep|nested/0/0/k/5||s|"
        "long/3/x"_s.split(u'|');
    for (const qint32 type : {GraflinkVariable::PlainText, GraflinkVariable::Number}) {
        std::vector<std::unique_ptr<GraflinkVariable>> fromTree, fromFeed;
        QList<GraflinkVariable*> treeList, feedList;
        for (const QString& path : paths) {
            for (auto* list : {&fromTree, &fromFeed}) {
                auto variable = std::make_unique<GraflinkVariable>();
                variable->setXPath(path);
                variable->setValueType(type);
                variable->setFormat(u"#,##0.0"_s);
                (list == &fromTree ? treeList : feedList).append(variable.get());
                list->push_back(std::move(variable));
            }
        }
        VariableEvaluator evaluator;
        evaluator.evaluate(treeList, tree);
        evaluator.evaluateFeed(feedList, *feed);
        for (qsizetype i = 0; i < treeList.size(); ++i)
            EXPECT_EQ(feedList[i]->currentStringValue(), treeList[i]->currentStringValue())
                << paths[i].toStdString() << " as value type " << type;
    }
}

// On request the same nodes as JSONPath queries, quoting the names shorthand cannot carry.
TEST(FeedInventory, ListsJsonContainersBeforeTheirChildrenInFeedOrder) {
    const JsonValue feed = JsonValue::parse(R"({"zeta":1,"a":{"b":[{"c":1},{"c":2}]}})");
    EXPECT_EQ(FeedInventory::ofJson(feed),
              QStringList({u"zeta"_s, u"a"_s, u"a/b"_s, u"a/b/0"_s, u"a/b/0/c"_s, u"a/b/1"_s, u"a/b/1/c"_s}));
    EXPECT_EQ(FeedInventory::ofJson(JsonValue::parse("[[1],{\"k\":2}]")),
              QStringList({u"0"_s, u"0/0"_s, u"1"_s, u"1/k"_s}));
    EXPECT_TRUE(FeedInventory::ofJson(JsonValue::parse("\"scalar\"")).isEmpty());
    const JsonValue names = JsonValue::parse(R"({"a":{"b c":[{"it's":1}],"_x1":2,"1st":3,"é":4}})");
    EXPECT_EQ(FeedInventory::ofJson(names, FeedInventory::JsonForm::JsonPath),
              QStringList({u"$.a"_s, u"$.a['b c']"_s, u"$.a['b c'][0]"_s, u"$.a['b c'][0]['it\\'s']"_s,
                           u"$.a._x1"_s, u"$.a['1st']"_s, u"$.a.é"_s}));
}

TEST(FeedInventory, ListsXmlElementsWithRepeatsButNotTheRootAlone) {
    const auto document =
        platform::XmlDocument::parse("<r><!-- note --><x a='1'>text<y/></x><?pi data?><x/></r>");
    ASSERT_TRUE(document);
    EXPECT_EQ(FeedInventory::ofXml(*document), QStringList({u"r/x"_s, u"r/x/y"_s, u"r/x"_s}));
}

} // namespace
