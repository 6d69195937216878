#include "platform/Json.h"

#include <QDateTime>
#include <QStringList>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

using platform::Error;
using platform::jsonToVariant;
using platform::JsonValue;
using platform::parseJson;
using platform::toJsonBytes;
using platform::variantToJson;

// Members keep the feed's order; the pretty form is the one CG update bodies are sent in.
TEST(JsonTest, MemberOrderOfTheFeedIsKept) {
    const QByteArray text = R"({"zulu":1,"alpha":{"y":true,"b":null},"mike":[3,"x"]})";
    const auto value = parseJson(text);
    ASSERT_TRUE(value);
    EXPECT_EQ(toJsonBytes(*value), text);
    EXPECT_EQ(toJsonBytes(JsonValue{{"z", {1}}, {"a", nullptr}}, true),
              QByteArray("{\n  \"z\": [\n    1\n  ],\n  \"a\": null\n}"));
}

TEST(JsonTest, StringsWrittenPieceByPieceMatchTheSerialiser) {
    const QString texts[] = {u""_s,
                             u"plain ASCII / 7"_s,
                             u"\"quoted\" back\\slash"_s,
                             u"\b\f\n\r\t \x01\x1f \x7f"_s,
                             u"caf\u00e9 \u2028 \U0001F600 x"_s,
                             QString(QChar(0xD800)) + u"lone"_s + QChar(0xDC00)};
    for (const QString& text : texts) {
        QByteArray written;
        platform::appendJsonString(written, text);
        EXPECT_EQ(written, toJsonBytes(JsonValue(text.toStdString()))) << text.toStdString();
    }
}

TEST(JsonTest, ParseErrorsAreValuesWithTheBytePosition) {
    const struct {
        QByteArray text;
        qint64 byteOffset;
    } cases[] = {
        {"{\"a\": x}", 6}, {"[1, 2", 5},                        // premature end: the offset is the size
        {"", 0},           {"{\"a\": 1}}", 8}, {"\"\xff\"", 1}, // invalid UTF-8 inside a string
        {"{\"a\" 1}", 5},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_EQ(parseJson(c.text, &error), std::nullopt) << c.text.toStdString();
        EXPECT_EQ(error.domain, Error::JsonDomain);
        EXPECT_EQ(error.userInfo.value(u"byteOffset"_s).toLongLong(), c.byteOffset) << c.text.toStdString();
        EXPECT_TRUE(error.localizedDescription().startsWith(
            u"The JSON text is not valid at byte %1: "_s.arg(c.byteOffset)))
            << error.localizedDescription().toStdString();
    }
}

// A hostile feed nesting arrays a million deep must be refused, not overflow the stack when
// the value is later serialised or converted.
TEST(JsonTest, ExcessiveNestingIsRefused) {
    const int limit = platform::MaximumJsonNestingDepth;
    const QByteArray deepest = QByteArray(limit, '[') + QByteArray(limit, ']');
    const auto accepted = parseJson(deepest);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(toJsonBytes(*accepted), deepest);

    Error error;
    EXPECT_EQ(parseJson(QByteArray(limit + 1, '[') + QByteArray(limit + 1, ']'), &error), std::nullopt);
    EXPECT_EQ(error.userInfo.value(u"byteOffset"_s).toLongLong(), limit);
    EXPECT_EQ(parseJson(QByteArray(1000000, '[')), std::nullopt);

    // Brackets inside strings do not count.
    const QByteArray quoted = "[\"" + QByteArray(10000, '[') + "\\\"{\"]";
    EXPECT_TRUE(parseJson(quoted));
}

namespace {
// Equal values of equal JSON types, all the way down.
bool sameTree(const JsonValue& a, const JsonValue& b) {
    if (a.type() != b.type() || a != b)
        return false;
    if (a.is_object())
        return std::equal(a.items().begin(), a.items().end(), b.items().begin(), b.items().end(),
                          [](const auto& x, const auto& y) {
                              return x.key() == y.key() && sameTree(x.value(), y.value());
                          });
    if (a.is_array())
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameTree);
    return true;
}
} // namespace

// parseJson reads most texts with simdjson: it must give exactly what nlohmann's parser gives,
// including where simdjson alone would refuse or read differently.
TEST(JsonTest, ReadsEveryTextAsNlohmannsParserDoes) {
    const QByteArray texts[] = {
        R"({"a":1,"b":{"a":2},"a":3})",
        R"([0,1,-1,1.0,1E2,0.1,-2.5e-3,1.5e-400])",
        "[18446744073709551615,18446744073709551616,-9223372036854775808,-9223372036854775809]",
        "[123456789012345678901234567890]",
        R"(["\u00e9\ud83d\ude00\u0000\/\n","é"])",
        "\xef\xbb\xbf{\"bom\":true}",
        " \t\r\n[ ] ",
        "{}",
        "1",
        "\"x\"",
        "null",
        "true",
        R"({"deep":[[[{"x":[null,false,{}]}]]]})",
    };
    for (const QByteArray& text : texts) {
        const auto value = parseJson(text);
        ASSERT_TRUE(value) << text.toStdString();
        EXPECT_TRUE(sameTree(*value, JsonValue::parse(text.constData(), text.constData() + text.size())))
            << text.toStdString() << " read as " << value->dump();
    }
    // The one difference: simdjson keeps no sign of a zero integer (the same number, written "0").
    EXPECT_EQ(*parseJson("[-0]"), JsonValue::parse("[-0]"));
}

// Invalid UTF-8 is replaced and numbers JSON cannot hold become null, rather than throwing.
TEST(JsonTest, WritingReplacesWhatJsonCannotHold) {
    JsonValue value = JsonValue::object();
    value["text"] = std::string("ok \xff\xfe end");
    value["key \xc3"] = 1;
    value["numbers"] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    QByteArray bytes;
    EXPECT_NO_THROW(bytes = toJsonBytes(value));
    EXPECT_EQ(bytes, QByteArray("{\"text\":\"ok \xEF\xBF\xBD\xEF\xBF\xBD end\",\"key \xEF\xBF\xBD\":1,"
                                "\"numbers\":[null,null]}"));
    EXPECT_TRUE(parseJson(bytes));
}

// Integers stay integers, with their sign, and converting back gives the same values.
TEST(JsonTest, ValuesConvertToVariantsAndBack) {
    const auto value = parseJson(R"({"n":null,"t":true,"i":42,"neg":-7,"big":18446744073709551615,
        "f":1.5,"s":"Grüße","a":[1,"x",[]],"o":{"b":1,"a":{}}})");
    ASSERT_TRUE(value);
    const QVariant variant = jsonToVariant(*value);
    const QVariantMap map = variant.toMap();
    const struct {
        const char* key;
        QMetaType::Type type;
        QVariant value;
    } cases[] = {
        {"n", QMetaType::Nullptr, QVariant::fromValue(nullptr)},
        {"t", QMetaType::Bool, true},
        {"i", QMetaType::LongLong, qint64(42)},
        {"neg", QMetaType::LongLong, qint64(-7)},
        {"big", QMetaType::ULongLong, std::numeric_limits<quint64>::max()},
        {"f", QMetaType::Double, 1.5},
        {"s", QMetaType::QString, u"Grüße"_s},
        {"a", QMetaType::QVariantList, QVariantList{qint64(1), u"x"_s, QVariantList()}},
        {"o", QMetaType::QVariantMap, QVariantMap{{u"b"_s, qint64(1)}, {u"a"_s, QVariantMap()}}},
    };
    ASSERT_EQ(map.size(), qsizetype(std::size(cases)));
    for (const auto& c : cases) {
        const QVariant& read = map[QString::fromLatin1(c.key)];
        EXPECT_EQ(read.typeId(), c.type) << c.key;
        EXPECT_EQ(read, c.value) << c.key;
    }
    EXPECT_TRUE(map[u"n"_s].isNull());
    EXPECT_EQ(jsonToVariant(variantToJson(variant)), variant);
}

// What JSON cannot hold becomes null, and the error names its type.
TEST(JsonTest, VariantsConvertToJson) {
    const struct {
        QVariant variant;
        const char* json;
        const char* refused = nullptr; // the type the error names
    } cases[] = {
        {QVariant::fromValue(nullptr), "null"},
        {QVariant(), "null"},
        {QVariant(false), "false"},
        {QVariant(int(-3)), "-3"},
        {QVariant(uint(3)), "3"},
        {QVariant(std::numeric_limits<qint64>::min()), "-9223372036854775808"},
        {QVariant(std::numeric_limits<qint64>::max()), "9223372036854775807"},
        {QVariant(std::numeric_limits<quint64>::max()), "18446744073709551615"},
        {QVariant(2.0), "2.0"},
        {QVariant(0.1f), "0.10000000149011612"},
        {QVariant(u"a\"b\n✓"_s), "\"a\\\"b\\n✓\""},
        {QVariant(QByteArray("bytes")), "\"bytes\""},
        {QVariant(QStringList{u"x"_s, u"y"_s}), "[\"x\",\"y\"]"},
        {QVariant(QVariantList{1, QVariant::fromValue(nullptr), QVariantMap{{u"k"_s, true}}}),
         "[1,null,{\"k\":true}]"},
        {QVariant(QVariantHash{{u"h"_s, QStringList()}}), "{\"h\":[]}"},
        {QVariantMap{{u"when"_s, QDateTime::fromSecsSinceEpoch(0)}, {u"ok"_s, 1}}, "{\"ok\":1,\"when\":null}",
         "QDateTime"},
    };
    for (const auto& c : cases) {
        Error error;
        const JsonValue json = variantToJson(c.variant, &error);
        EXPECT_EQ(toJsonBytes(json), QByteArray(c.json)) << c.json;
        EXPECT_EQ(error.domain, c.refused ? Error::JsonDomain : QString()) << c.json;
        EXPECT_TRUE(error.localizedDescription().contains(QLatin1String(c.refused))) << c.json;
    }
}
