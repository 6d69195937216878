#include "platform/IRegexp.h"
#include "platform/JsonFeed.h"
#include "platform/JsonPathCache.h"
#include "platform/JsonPathQuery.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using platform::IRegexp;
using platform::JsonFeed;
using platform::JsonPathCache;
using platform::JsonPathError;
using platform::JsonPathQuery;
using platform::JsonValue;

TEST(JsonPathTest, ErrorsSayWhereTheQueryGoesWrong) {
    const struct {
        const char* query;
        std::size_t offset;
    } cases[] = {
        {"races", 0},                    // not a query
        {"$.races[3", 9},                // unclosed bracket
        {"$.races[?@.votes > ]", 19},    // missing operand
        {"$[?length(@.*) > 1]", 10},     // a non-singular query where a value is wanted
        {"$['caf\\u00e9', 'b\\x']", 17}, // bad escape, counted in characters
        {"$[\"\\uD800\"]", 3},           // lone surrogate escape
        {"$[9007199254740992]", 2},      // index beyond 2^53 - 1
        {"$[?nosuch(@)]", 3},            // unknown function
        {"$.a ", 3},                     // trailing blank
    };
    for (const auto& c : cases) {
        JsonPathError error;
        EXPECT_FALSE(JsonPathQuery::parse(QString::fromUtf8(c.query), &error)) << c.query;
        EXPECT_EQ(error.offset, c.offset) << c.query << ": " << error.toString().toStdString();
        EXPECT_TRUE(error.toString().endsWith(QStringLiteral("at character %1").arg(c.offset)));
    }
}

TEST(JsonPathTest, CacheParsesEachTextOnceAndRemembersRefusals) {
    JsonPathCache cache;
    const JsonPathQuery* first = cache.query(QStringLiteral("$.a[?@.b == 1]"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cache.query(QStringLiteral("$.a[?@.b == 1]")), first);
    JsonPathError error;
    EXPECT_EQ(cache.query(QStringLiteral("$.a["), &error), nullptr);
    EXPECT_EQ(error.offset, 4u);
    EXPECT_EQ(cache.size(), 2u);
}

// Where I-Regexp and PCRE2 differ, the pattern means what I-Regexp says (the compliance suite
// has the plain ones: classes, \p{Lu}, match against search).
TEST(JsonPathTest, IRegexpPatternsKeepTheirMeaningUnderPcre) {
    const struct {
        const char* pattern;
        const char* text;
        bool wholeText;
        std::optional<bool> matches; // nullopt: not an I-Regexp
    } cases[] = {
        {"a.c", "a\nc", true, false},         {"a.c", "a\rc", true, false},
        {"a.c", "a\u00e9c", true, true},      {"ab$", "ab\n", false, false},
        {"[\\p{Nd}-]+", "12-3", true, true},  {"a{2,3}", "aaaa", true, false},
        {"[^\\n]", "\n", true, false},        {"\\d", "1", true, std::nullopt},
        {"(?:a)", "a", true, std::nullopt},   {"(a)\\1", "aa", true, std::nullopt},
        {"a*?", "a", true, std::nullopt},     {"\\w", "a", true, std::nullopt},
        {"[a-b-c]", "a", true, std::nullopt}, {"\\p{IsBasicLatin}", "a", true, std::nullopt},
        {"[b-a]", "a", true, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<QRegularExpression> compiled =
            IRegexp::compile(QString::fromUtf8(c.pattern), c.wholeText);
        ASSERT_EQ(compiled.has_value(), c.matches.has_value()) << c.pattern;
        if (compiled) {
            EXPECT_EQ(compiled->match(QString::fromUtf8(c.text)).hasMatch(), *c.matches)
                << c.pattern << " on " << c.text;
        }
    }
}

// The compliance suite's documents are small; long arrays take other paths on the compact parse
// (listed elements, filter indexes over 32 elements or more). Both adapters must agree on them.
TEST(JsonPathTest, TheCompactParseSelectsWhatTheTreeSelects) {
    JsonValue items = JsonValue::array();
    for (int i = 0; i < 100; ++i) {
        JsonValue item = {
            {"n", i}, {"id", i % 7 == 0 ? JsonValue(1.0) : JsonValue(i % 5)}, {"s", std::to_string(i % 3)}};
        if (i % 11 == 0)
            item.erase("id");
        if (i % 13 == 0)
            item["id"] = JsonValue::array({1});
        items.push_back(item);
    }
    items.push_back(
        JsonValue{{"id", nullptr}, {"s", true}, {"n", -0.0}, {"name", "\u00e9t\u00e9 \U0001F600"}});
    JsonValue numbers = JsonValue::array();
    for (int i = 0; i < 40; ++i)
        numbers.push_back(i * 1.5);
    const JsonValue root = {{"items", items}, {"numbers", numbers}, {"nested", {{"a", {{"b", {{"c", 1}}}}}}}};
    const std::unique_ptr<JsonFeed> feed = JsonFeed::parse(QByteArray::fromStdString(root.dump()));
    ASSERT_TRUE(feed);
    for (const char* text :
         {// equality filters over the long array, both ways round, every kind of value
          "$.items[?@.id == 1].n", "$.items[?1 == @.id].n", "$.items[?@.s == '2'].n",
          "$.items[?@.id == null].n", "$.items[?@.s == true].n", "$.items[?@.n == 0].n",
          "$.items[?@.id == 9].n", "$.items[?@['id'] == 4][?@ == 4]",
          // other filters, functions
          "$.items[?@.id > 3 && @.s != '1'].n", "$.items[?!@.id].n", "$.items[?count(@.*) == 2]",
          "$.items[?length(@.name) == 5].n", "$.items[?search(@.name, '\\\\p{So}')].n",
          "$.items[?value(@.id[0]) == 1].n",
          // indexes and slices over long arrays
          "$.numbers[39]", "$.numbers[-40]", "$.numbers[40]", "$.numbers[-41]", "$.numbers[5:9]",
          "$.numbers[::-7]", "$.numbers[-3:]", "$.numbers[30:2:-9]", "$.numbers[?@ > 55]",
          // descendants
          "$..c", "$.nested..*", "$..[?@.c]", "$..items[100].name"}) {
        const std::optional<JsonPathQuery> query = JsonPathQuery::parse(QString::fromUtf8(text));
        ASSERT_TRUE(query) << text;
        std::vector<JsonValue> expected;
        for (const JsonValue* node : query->select(root))
            expected.push_back(*node);
        EXPECT_EQ(feed->select(*query), expected) << text;
        EXPECT_EQ(feed->select(*query), expected) << text << " (again, with what the first run built)";
        if (!expected.empty()) {
            EXPECT_EQ(feed->select(*query, 1), std::vector<JsonValue>{expected.front()}) << text;
        }
    }
}

// A query nested without end must not exhaust the stack.
TEST(JsonPathTest, RefusesExpressionsNestedTooDeep) {
    const QString deep = QStringLiteral("$[?") + QString(200, QLatin1Char('(')) + QStringLiteral("@.a") +
                         QString(200, QLatin1Char(')')) + QLatin1Char(']');
    JsonPathError error;
    EXPECT_FALSE(JsonPathQuery::parse(deep, &error));
    EXPECT_TRUE(error.message.contains(QStringLiteral("nested")));
    EXPECT_TRUE(JsonPathQuery::parse(QStringLiteral("$[?((((@.a))))]")));
}
