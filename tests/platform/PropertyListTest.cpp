#include "platform/PropertyList.h"

#include "platform/Json.h"
#include "platform/ValueReadings.h"
#include "platform/XmlPropertyListReader.h"
#include "testkit/TestHelpers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <locale.h>
#include <nlohmann/json.hpp>
#include <plist/plist.h>

using platform::Error;
using platform::PropertyList;

namespace {

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso) + u"Z"_s, Qt::ISODateWithMs);
}

QByteArray allBytes() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

/// One value of every supported type, with the edge cases that have broken before.
QVariantMap sample() {
    return QVariantMap{
        {u"string"_s, u"Grüße ✓ 𝄞 <&>"_s},
        {u"empty string"_s, u""_s},
        {u"négatif"_s, qint64(-42)},
        {u"min"_s, std::numeric_limits<qint64>::min()},
        {u"max"_s, std::numeric_limits<qint64>::max()},
        {u"beyond double"_s, qint64(9007199254740993)},
        {u"zero"_s, qint64(0)},
        {u"tenth"_s, 0.1},
        {u"huge"_s, 1e300},
        {u"negative real"_s, -2.5},
        {u"yes"_s, true},
        {u"no"_s, false},
        {u"data"_s, allBytes()},
        {u"no data"_s, QByteArray()},
        {u"date"_s, utc("2024-02-29T12:34:56")},
        {u"old date"_s, utc("1995-07-01T00:00:01")},
        {u"list"_s, QVariantList{QVariantMap{{u"inner"_s, QVariantList{qint64(1), u"two"_s}}}, QVariantList(),
                                 QVariantMap()}},
    };
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

} // namespace

// Values of other integer, real and container types are written as their property list type.
TEST(PropertyListTest, XmlRoundTripKeepsEveryType) {
    QVariantMap value = sample();
    QVariantMap expected = sample();
    const struct {
        const char* key;
        QVariant written;
        QVariant read;
    } converted[] = {
        {"int", int(-5), qint64(-5)},
        {"uint", uint(4000000000u), qint64(4000000000u)},
        {"long", QVariant::fromValue(long(-6)), qint64(-6)},
        {"quint64", quint64(std::numeric_limits<qint64>::max()), std::numeric_limits<qint64>::max()},
        {"float", 0.5f, 0.5},
        {"strings", QStringList{u"a"_s, u"b"_s}, QVariantList{u"a"_s, u"b"_s}},
        {"hash", QVariantHash{{u"k"_s, u"v"_s}}, QVariantMap{{u"k"_s, u"v"_s}}},
    };
    for (const auto& c : converted) {
        value.insert(QString::fromLatin1(c.key), c.written);
        expected.insert(QString::fromLatin1(c.key), c.read);
    }
    Error error;
    const QByteArray xml = PropertyList::writeXml(value, &error);
    ASSERT_FALSE(xml.isEmpty()) << error.localizedDescription().toStdString();
    EXPECT_TRUE(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    const auto back = PropertyList::read(xml, &error);
    ASSERT_TRUE(back) << error.localizedDescription().toStdString();
    const QVariantMap map = back->toMap();
    ASSERT_EQ(map.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        EXPECT_EQ(map.value(it.key()).typeId(), it.value().typeId()) << it.key().toStdString();
        EXPECT_EQ(map.value(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(map.value(u"date"_s).toDateTime().timeSpec(), Qt::UTC);
}

TEST(PropertyListTest, ReadsBinaryLists) {
    std::unique_ptr<void, PlistDeleter> root(plist_new_dict());
    plist_dict_set_item(root.get(), "name", plist_new_string("Zürich ✓"));
    plist_dict_set_item(root.get(), "negative", plist_new_uint(static_cast<uint64_t>(qint64(-123456789012))));
    plist_dict_set_item(root.get(), "real", plist_new_real(3.25));
    plist_dict_set_item(root.get(), "flag", plist_new_bool(1));
    plist_dict_set_item(root.get(), "data", plist_new_data("\0\1\2", 3));
    // 2001-01-01 plus one day and a quarter second.
    plist_dict_set_item(root.get(), "date", plist_new_date(86400, 250000));
    plist_t list = plist_new_array();
    plist_array_append_item(list, plist_new_uint(1));
    plist_array_append_item(list, plist_new_dict());
    plist_dict_set_item(root.get(), "list", list);

    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    ASSERT_TRUE(bytes);
    const QByteArray binary(bytes, qsizetype(length));
    plist_to_bin_free(bytes);
    ASSERT_TRUE(binary.startsWith("bplist00"));

    Error error;
    const auto value = PropertyList::read(binary, &error);
    ASSERT_TRUE(value) << error.localizedDescription().toStdString();
    const QVariantMap expected{
        {u"name"_s, u"Zürich ✓"_s},
        {u"negative"_s, qint64(-123456789012)},
        {u"real"_s, 3.25},
        {u"flag"_s, true},
        {u"data"_s, QByteArray("\0\1\2", 3)},
        {u"date"_s, utc("2001-01-02T00:00:00.250")},
        {u"list"_s, QVariantList{qint64(1), QVariantMap()}},
    };
    EXPECT_EQ(*value, QVariant(expected));

    // A damaged binary list is an error, not a crash or a partial value.
    for (const qsizetype cut : {qsizetype(8), binary.size() / 2, binary.size() - 1}) {
        Error truncated;
        EXPECT_EQ(PropertyList::read(binary.left(cut), &truncated), std::nullopt) << cut;
        EXPECT_EQ(truncated.domain, Error::PropertyListDomain);
    }
}

TEST(PropertyListTest, InputThatIsNoPropertyListIsAnError) {
    const QByteArray valid = PropertyList::writeXml(sample());
    ASSERT_FALSE(valid.isEmpty());
    const QByteArray inputs[] = {
        "",
        "hello, world",
        "{\"json\": true}",
        "<html><body>not a list</body></html>",
        valid.left(valid.size() / 2),
        valid.left(valid.indexOf("<dict>") + 6),
        "bplist00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"
        "\xff"
        "\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff",
    };
    for (const QByteArray& input : inputs) {
        Error error;
        EXPECT_EQ(PropertyList::read(input, &error), std::nullopt) << input.left(60).toStdString();
        EXPECT_EQ(error.domain, Error::PropertyListDomain);
        EXPECT_FALSE(error.localizedDescription().isEmpty());
    }
}

TEST(PropertyListTest, ValuesWithoutAnExactFormAreRefused) {
    const struct {
        const char* name;
        QVariant value;
    } cases[] = {
        {"invalid", QVariant()},
        {"null", QVariant::fromValue(nullptr)},
        {"url", QVariant(QUrl(u"http://example.com"_s))},
        {"unsigned too large", QVariant(std::numeric_limits<quint64>::max())},
        {"invalid date", QVariant(QDateTime())},
        {"date too late", QVariant(utc("2100-01-01T00:00:00"))},
        {"control character", QVariant(u"bell\a"_s)},
        {"nested url", QVariant(QVariantMap{{u"a"_s, QVariantList{1, QUrl()}}})},
        {"control character key", QVariant(QVariantMap{{u"k\x01"_s, 1}})},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_TRUE(PropertyList::writeXml(c.value, &error).isEmpty()) << c.name;
        EXPECT_EQ(error.domain, Error::PropertyListDomain) << c.name;
        EXPECT_FALSE(error.localizedDescription().isEmpty()) << c.name;
    }
}

// The XML we write must be readable by other programs, not only by libplist.
TEST(PropertyListTest, XmlIsReadableByAnIndependentReader) {
    const QString python = u"/usr/bin/python3"_s;
    if (!QFile::exists(python))
        GTEST_SKIP() << "no /usr/bin/python3";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(u"sample.plist"_s);
    Error error;
    ASSERT_TRUE(testing_support::writeFile(path, PropertyList::writeXml(sample(), &error)))
        << error.localizedDescription().toStdString();

    const QString script = QStringLiteral(R"(
import base64, datetime, json, plistlib, sys
def plain(v):
    if isinstance(v, dict): return {k: plain(x) for k, x in v.items()}
    if isinstance(v, list): return [plain(x) for x in v]
    if isinstance(v, bytes): return {"data": base64.b64encode(v).decode()}
    if isinstance(v, datetime.datetime): return {"date": v.isoformat()}
    return v
with open(sys.argv[1], "rb") as f:
    print(json.dumps(plain(plistlib.load(f)), ensure_ascii=False))
)");
    QProcess process;
    process.start(python, {u"-c"_s, script, path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const auto parsed = platform::parseJson(process.readAllStandardOutput(), &error);
    ASSERT_TRUE(parsed) << error.localizedDescription().toStdString();

    platform::JsonValue expected = platform::JsonValue::parse(R"({
        "string": "Grüße ✓ 𝄞 <&>", "empty string": "", "négatif": -42, "min": -9223372036854775808,
        "max": 9223372036854775807, "beyond double": 9007199254740993, "tenth": 0.1, "huge": 1e300,
        "negative real": -2.5, "yes": true, "no": false, "zero": 0, "no data": {"data": ""},
        "date": {"date": "2024-02-29T12:34:56"}, "old date": {"date": "1995-07-01T00:00:01"},
        "list": [{"inner": [1, "two"]}, [], {}]})");
    expected["data"]["data"] = allBytes().toBase64().toStdString();
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ((*parsed)[key], value) << key;
}

// Qt gives the process the user's locale, and the C library reads numbers in it: under a decimal
// comma, "0.5" read as 0 (a document's refresh every 0.5 s became 0). A minimal comma locale is
// made here and used by this thread only.
TEST(PropertyListTest, NumbersReadTheSameUnderADecimalCommaLocale) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    testing_support::writeFile(
        folder.filePath(u"comma.src"_s),
        "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3\nEND LC_NUMERIC\n");
    QProcess localedef;
    // -c: the categories left out are not an error.
    localedef.start(u"localedef"_s,
                    {u"-c"_s, u"-i"_s, folder.filePath(u"comma.src"_s), folder.filePath(u"comma"_s)});
    ASSERT_TRUE(localedef.waitForFinished(30000)) << "localedef (libc-bin) did not run";
    const QByteArray previousPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", folder.path().toLocal8Bit());
    const locale_t comma = newlocale(LC_NUMERIC_MASK, "comma", locale_t(nullptr));
    qputenv("LOCPATH", previousPath);
    ASSERT_NE(comma, locale_t(nullptr)) << localedef.readAllStandardError().toStdString();
    const locale_t previous = uselocale(comma);
    ASSERT_EQ(std::strtod("0.5", nullptr), 0.0) << "the locale reads a decimal comma";

    const QVariantMap written{{u"tenth"_s, 0.1}, {u"half"_s, 0.5}, {u"negative"_s, -2.5}, {u"huge"_s, 1e300}};
    Error error;
    const std::optional<QVariant> read = PropertyList::read(PropertyList::writeXml(written, &error), &error);
    const double half = platform::ValueReadings::doubleReading(u"0.5 s"_s);
    const double thousands = platform::ValueReadings::doubleReading(u"2.5e3"_s);
    uselocale(previous);
    freelocale(comma);

    ASSERT_TRUE(read) << error.localizedDescription().toStdString();
    EXPECT_EQ(read->toMap(), written);
    EXPECT_EQ(half, 0.5);
    EXPECT_EQ(thousands, 2500.0);
}

namespace {

/// What libplist makes of an XML list: through its binary form, which only libplist reads.
std::optional<QVariant> readByLibplist(const QByteArray& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
    if (!root)
        return std::nullopt;
    char* binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    plist_free(root);
    const QByteArray bytes(binary, qsizetype(length));
    plist_to_bin_free(binary);
    return PropertyList::read(bytes, nullptr);
}

QByteArray inPlist(const char* value) {
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">") + value +
           "</plist>\n";
}

} // namespace

// The XML form is read without libplist where that gives the same values: what the reader takes
// equals libplist's reading, and every form it leaves to libplist it leaves whole.
TEST(PropertyListTest, XmlReaderReadsWhatLibplistReadsAndLeavesTheRest) {
    QVariantMap withoutDatesOrData = sample();
    for (const QString& key : {u"data"_s, u"no data"_s, u"date"_s, u"old date"_s})
        withoutDatesOrData.remove(key);
    Error error;
    const QByteArray deep = QByteArray("<array>").repeated(PropertyList::MaximumNestingDepth + 1) +
                            QByteArray("</array>").repeated(PropertyList::MaximumNestingDepth + 1);
    const struct {
        const char* name;
        QByteArray xml;
        bool readHere;
    } cases[] = {
        {"as written", PropertyList::writeXml(withoutDatesOrData, &error), true},
        {"with dates and data", PropertyList::writeXml(sample(), &error), false},
        {"edge values",
         inPlist(
             "<dict><key>a</key><string>  spaced\n\t</string><key>a</key><integer> -9223372036854775808 "
             "</integer><key>b</key><array/><key>c</key><dict/><key>d</key><real>1e+300</real><key>e</key>"
             "<string/><key>f</key><real>-0.25E-3</real><key>g</key><integer>0</integer>"
             "<key>h</key><string>&lt;&amp;&gt;</string></dict>"),
         true},
        {"empty key", inPlist("<dict><key></key><true/></dict>"), false},
        {"root array", inPlist("<array><false/><string>x</string><array><array/></array></array>"), true},
        {"character reference", inPlist("<string>&#65;</string>"), false},
        {"quote entity", inPlist("<string>&quot;</string>"), false},
        {"character data section", inPlist("<string><![CDATA[<x>]]></string>"), false},
        {"comment", inPlist("<!-- note --><string>x</string>"), false},
        {"carriage return", inPlist("<string>a\r\nb</string>"), false},
        {"octal integer", inPlist("<integer>010</integer>"), false},
        {"hexadecimal integer", inPlist("<integer>0x10</integer>"), false},
        {"plus sign", inPlist("<integer>+5</integer>"), false},
        {"past the signed range", inPlist("<integer>9223372036854775808</integer>"), false},
        {"empty integer", inPlist("<integer/>"), false},
        {"bare fraction", inPlist("<real>.5</real>"), false},
        {"decimal comma", inPlist("<real>0,5</real>"), false},
        {"infinity", inPlist("<real>inf</real>"), false},
        {"text in a boolean", inPlist("<true>yes</true>"), false},
        {"key in an array", inPlist("<array><key>k</key></array>"), false},
        {"value without its key", inPlist("<dict><string>v</string></dict>"), false},
        {"key without its value", inPlist("<dict><key>k</key></dict>"), false},
        {"unknown element", inPlist("<set/>"), false},
        {"attribute", inPlist("<string id=\"1\">x</string>"), false},
        {"two values", inPlist("<string>x</string><string>y</string>"), false},
        {"no plist root", QByteArray("<dict><key>a</key><string>b</string></dict>"), false},
        {"other encoding",
         QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string>\xE9</string></plist>"),
         false},
        {"byte order mark", QByteArray("\xEF\xBB\xBF") + inPlist("<string>x</string>"), false},
        {"entity declared",
         QByteArray("<!DOCTYPE plist [<!ENTITY e \"v\">]><plist><string>x</string></plist>"), false},
        {"not well-formed", inPlist("<string>x</strin>"), false},
        {"too deep", inPlist(deep.constData()), false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::optional<QVariant> here =
            platform::XmlPropertyListReader::read(testCase.xml, PropertyList::MaximumNestingDepth);
        EXPECT_EQ(here.has_value(), testCase.readHere);
        if (here) {
            const std::optional<QVariant> byLibplist = readByLibplist(testCase.xml);
            ASSERT_TRUE(byLibplist);
            EXPECT_EQ(*here, *byLibplist);
        }
    }

    // Whatever the corpus of damaged and odd documents holds: taken only as libplist takes it.
    for (const QFileInfo& file : QDir(QStringLiteral(GRAFLINK_DOCUMENT_CORPUS)).entryInfoList(QDir::Files)) {
        SCOPED_TRACE(file.fileName().toStdString());
        const QByteArray bytes = testing_support::readFile(file.filePath());
        const auto here = platform::XmlPropertyListReader::read(bytes, PropertyList::MaximumNestingDepth);
        if (here) {
            EXPECT_EQ(*here, readByLibplist(bytes).value_or(QVariant(u"refused by libplist"_s)));
        }
    }
}
