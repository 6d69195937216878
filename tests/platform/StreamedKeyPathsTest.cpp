#include "platform/StreamedKeyPaths.h"

#include "platform/JsonFeed.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>

using namespace Qt::StringLiterals;

namespace {

using platform::JsonFeed;
using platform::StreamedKeyPaths;

/// A random feed-like text: few keys so that paths hit (some repeated, some escaped), every kind
/// of number and string the compact parse reads, arrays of a few elements.
QByteArray randomJson(std::mt19937& random) {
    std::uniform_int_distribution<int> pick(0, 9);
    const char* keys[] = {"\"a\"", "\"b\"", "\"\\u0061\"", "\"c\\n\"", "\"a\""};
    const char* scalars[] = {"0",
                             "-0",
                             "17",
                             "-3",
                             "1e3",
                             "2.50",
                             "18446744073709551615",
                             "true",
                             "null",
                             "\"t\\\"\\u00e9\"",
                             "\"x\"",
                             "false"};
    std::function<QByteArray(int)> value = [&](int depth) -> QByteArray {
        const int kind = depth < 4 ? pick(random) : 9;
        if (kind < 3 || kind > 5) {
            if (kind > 5) {
                // Now and then an integer out of range, which only the full parser reads.
                const int which = std::uniform_int_distribution<int>(0, 99)(random);
                return which < 2 ? "18446744073709551616" : scalars[which % 12];
            }
            QByteArray object = "{";
            for (int i = pick(random) % 4; i > 0; --i)
                object += QByteArray(keys[pick(random) % 5]) + " : " + value(depth + 1) + (i > 1 ? "," : "");
            return object + "}";
        }
        QByteArray array = "[ ";
        for (int i = pick(random) % 4; i > 0; --i)
            array += value(depth + 1) + (i > 1 ? "," : "");
        return array + "]";
    };
    const QByteArray top = pick(random) < 5 ? QByteArray("{\"a\":" + value(1) + ",\"b\":" + value(1) + "}")
                                            : QByteArray("[" + value(1) + "]");
    return top + "\n";
}

QStringList randomPath(std::mt19937& random) {
    const char* components[] = {"a", "b", "c\n", "0", "1", "01", "x", "a"};
    QStringList path;
    for (int i = std::uniform_int_distribution<int>(1, 4)(random); i > 0; --i)
        path << QString::fromUtf8(components[std::uniform_int_distribution<int>(0, 7)(random)]);
    return path;
}

// The value as printed: equal numbers of other kinds (0 and -0.0) must not pass for the same.
std::string text(const std::optional<platform::JsonValue>& value) {
    return value ? value->dump() : "(nowhere)";
}

// The values a pass gives for `paths` are those of the compact parse, and it refuses what the
// parse refuses.
void expectTheCompactParsesValues(const QByteArray& json, const std::vector<QStringList>& paths) {
    const std::unique_ptr<JsonFeed> feed = JsonFeed::parse(json);
    const std::optional<StreamedKeyPaths::Values> values = StreamedKeyPaths::make(paths)->values(json);
    ASSERT_EQ(values.has_value(), feed != nullptr) << json.toStdString();
    for (std::size_t p = 0; values && p < paths.size(); ++p)
        EXPECT_EQ(text((*values)[p]), text(feed->valueAt(paths[p])))
            << paths[p].join(u'/').toStdString() << " in " << json.toStdString();
}

TEST(StreamedKeyPaths, GiveTheCompactParsesValues) {
    // Of equal keys the last counts, whatever the first held.
    expectTheCompactParsesValues(R"({"a":{"b":1,"c":2},"\u0061":{"c":3},"d":[{"e":4},{"e":5}]})",
                                 {{u"a"_s, u"b"_s}, {u"a"_s, u"c"_s}, {u"d"_s, u"1"_s, u"e"_s}});
    std::mt19937 random(20261208);
    for (int d = 0; d < 400; ++d) {
        const QByteArray json = randomJson(random);
        std::vector<QStringList> paths;
        for (int p = 0; p < 30; ++p)
            paths.push_back(randomPath(random));
        expectTheCompactParsesValues(json, paths);
    }
}

// What the compact parse refuses, the pass refuses: the parse then words why.
TEST(StreamedKeyPaths, RefuseWhatTheCompactParseRefuses) {
    const QByteArray deep = QByteArray(512, '[') + QByteArray(512, ']');
    const char* refused[] = {
        "{\"a\":[1,2}}", "{\"a\":1} x", "{\"a\":\"\\x\"}", "{\"a\":[1 2]}", "{\"a\":01}", "{\"b\":tru}",
        "[nul]",         "[1]]",        "{\"a\" 1}",       "{\"\\q\":1}",   "[1,]",       "[\"\xff\"]"};
    const auto paths = StreamedKeyPaths::make({{u"a"_s}});
    for (const char* text : refused) {
        EXPECT_FALSE(paths->values(QByteArray(text))) << text;
        EXPECT_FALSE(JsonFeed::parse(QByteArray(text))) << text;
    }
    // The feed's top must be an object or an array: a scalar is left to the parse, which says so.
    EXPECT_FALSE(paths->values("\"text\""));
    EXPECT_TRUE(paths->values(deep));
    EXPECT_FALSE(paths->values("[" + deep + "]"));
}

} // namespace
