#include "XmlTestDocuments.h"
#include "platform/XPathCache.h"
#include "platform/XPathEvaluator.h"
#include "platform/XPathNameRewriter.h"
#include "platform/XmlDocument.h"
#include "testkit/StderrCapture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using platform::Error;
using platform::XmlDocument;
using platform::XPathCache;
using platform::XPathEvaluator;
using platform::XPathNameRewriter;
using testing_support::StderrCapture;
using xml_test::Feed;
using xml_test::parseOrFail;

// ---- XPath ----------------------------------------------------------------------------------

class XPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        document = parseOrFail(Feed);
        evaluator = std::make_unique<XPathEvaluator>(*document, &cache);
    }
    XPathCache cache;
    std::unique_ptr<XmlDocument> document;
    std::unique_ptr<XPathEvaluator> evaluator;
};

// Plain child paths are held against libxml2 in SimpleLocationPathTest and StreamedLocationPaths.
TEST_F(XPathTest, PathsSelectTheExpectedStringValues) {
    const struct {
        const char* expression;
        std::optional<QString> expected;
    } cases[] = {
        {"//item[2]/title", u"Second"_s},
        {"/rss/channel/item[2]/enclosure/@url", u"http://example.com/b.png"_s},
        {"/rss/channel/empty", u""_s}, // matched but empty is not "nothing"
        {"/rss/channel/missing", std::nullopt},
        {"count(//item)", std::nullopt}, // not a node set
    };
    for (const auto& c : cases) {
        const auto value = evaluator->firstNodeStringValue(QString::fromUtf8(c.expression));
        EXPECT_EQ(value, c.expected) << c.expression;
        if (value) {
            EXPECT_FALSE(value->isNull()) << c.expression;
        }
    }
}

TEST_F(XPathTest, InvalidExpressionsGiveNothingAreCompiledOnceAndStayOffStderr) {
    StderrCapture capture;
    for (const char* expression : {"//item[", "", "a b", "count(", "unknownFunction()", "x:item", "1 +"}) {
        const QString text = QString::fromUtf8(expression);
        EXPECT_EQ(evaluator->nodes(text), std::nullopt) << expression;
        EXPECT_EQ(evaluator->firstNodeStringValue(text), std::nullopt) << expression;
        EXPECT_EQ(evaluator->evaluate(text), std::nullopt) << expression;
    }
    const std::size_t remembered = cache.size();
    EXPECT_EQ(cache.compiled(u"//item["_s), nullptr);
    EXPECT_EQ(cache.size(), remembered);
    EXPECT_EQ(capture.text(), QString());
}

TEST_F(XPathTest, CompiledExpressionsAreReusedAcrossDocuments) {
    const QString expression = u"//item[score > 4]/title"_s;
    EXPECT_EQ(evaluator->firstNodeStringValue(expression), u"Second"_s);
    xmlXPathCompExprPtr compiled = cache.compiled(expression);
    ASSERT_NE(compiled, nullptr);
    const std::size_t size = cache.size();

    evaluator.reset();
    document.reset();
    auto other =
        parseOrFail("<rss><channel><item><title>Only</title><score>9</score></item></channel></rss>");
    XPathEvaluator second(*other, &cache);
    EXPECT_EQ(second.firstNodeStringValue(expression), u"Only"_s);
    EXPECT_EQ(cache.compiled(expression), compiled);
    EXPECT_EQ(cache.size(), size);
}

// Each result comes as its own type, and converts to text as XPath's string() does.
TEST_F(XPathTest, GenericEvaluationGivesEachResultType) {
    enum Type { Nodes, Boolean, Number, Text }; // the order of XPathValue's alternatives
    const struct {
        const char* expression;
        Type type;
        const char* text;
    } cases[] = {
        {"count(//item)", Number, "3"},
        {"0 div 0", Number, "NaN"},
        {"1 div 0", Number, "Infinity"},
        {"concat(string(/rss/channel/title), '!')", Text, "Scores!"},
        {"count(//item) > 2", Boolean, "true"},
        {"//item/title", Nodes, "First"},
        {"//nothing", Nodes, ""},
    };
    for (const auto& c : cases) {
        const auto value = evaluator->evaluate(QString::fromUtf8(c.expression));
        ASSERT_TRUE(value) << c.expression;
        EXPECT_EQ(value->index(), std::size_t(c.type)) << c.expression;
        EXPECT_EQ(XPathEvaluator::toString(*value), QString::fromUtf8(c.text)) << c.expression;
    }
    EXPECT_EQ(evaluator->nodes(u"count(//item)"_s), std::nullopt);
    EXPECT_EQ(evaluator->nodes(u"//nothing"_s), std::vector<xmlNodePtr>());
}

// How a context node anchors a path is checked against libxml2 in SimpleLocationPathTest; a node
// of another document is no context at all.
TEST_F(XPathTest, AContextNodeFromAnotherDocumentSelectsNothing) {
    auto other = parseOrFail("<item><title>Elsewhere</title></item>");
    EXPECT_EQ(evaluator->firstNodeStringValue(u"title"_s, other->rootElement()), std::nullopt);
    EXPECT_EQ(evaluator->nodes(u"../title"_s, other->rootElement()), std::nullopt);
}

// The text is Latin-1, as its declaration says.
TEST(XPathStringValueTest, FollowsTheXPathDataModel) {
    auto document =
        parseOrFail("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                    "<!DOCTYPE p [ <!ENTITY who \"world\"> ]>\n"
                    "<p lang=\"en &amp; fr\">Hello <b>big <i>wid\xe9</i></b> &who;<!-- note --><?pi "
                    "data?><![CDATA[ <raw>]]></p>");
    XPathEvaluator evaluator(*document);
    const struct {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"/p", "Hello big widé world <raw>"},
        {"/p/b", "big widé"},
        {"/p/@lang", "en & fr"},
        {"/p/text()[1]", "Hello "},
    };
    for (const auto& c : cases) {
        const QString expression = QString::fromUtf8(c.expression);
        const auto nodes = evaluator.nodes(expression);
        ASSERT_TRUE(nodes && !nodes->empty()) << c.expression;
        EXPECT_EQ(XPathEvaluator::stringValue(nodes->front()), QString::fromUtf8(c.expected)) << c.expression;
        // Agrees with the engine's own string().
        const auto engine = evaluator.evaluate(u"string("_s + expression + u")"_s);
        ASSERT_TRUE(engine) << c.expression;
        EXPECT_EQ(XPathEvaluator::toString(*engine), QString::fromUtf8(c.expected)) << c.expression;
    }
    EXPECT_TRUE(XPathEvaluator::stringValue(nullptr).isNull());
}

// An Atom feed with prefixed extensions, a second default namespace below and a prefix declared
// below the root.
const QByteArray NamespacedFeed = R"(<feed xmlns="http://www.w3.org/2005/Atom" xmlns:media="urn:media">
  <title>F</title>
  <entry><title>E1</title><media:thumbnail url="u1"/><link href="h1"/></entry>
  <entry><title>E2</title><media:thumbnail url="u2"/>
    <content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml"><p>Body</p></div></content>
    <ext:note xmlns:ext="urn:ext">N</ext:note></entry>
</feed>)";

TEST(XPathNamespaceTest, DocumentNamespacesLetFeedNamesSelect) {
    auto document = parseOrFail(NamespacedFeed);
    XPathEvaluator evaluator(*document);
    evaluator.useDocumentNamespaces();
    const struct {
        const char* expression;
        std::optional<QString> expected;
    } cases[] = {
        {"feed/title", u"F"_s},
        {"/feed/entry[2]/title", u"E2"_s},
        {"feed/entry/media:thumbnail/@url", u"u1"_s},
        {"//entry[2]/media:thumbnail/@url", u"u2"_s},
        {"feed/entry/link/@href", u"h1"_s},
        {"//entry[title='E2']/content/div/p", u"Body"_s},
        {"feed/entry/ext:note", u"N"_s},
        {"/*/*[3]/*[1]", u"E2"_s}, // location paths keep working
        {"feed/missing", std::nullopt},
        {"media:thumbnail", std::nullopt},
        {"x:feed", std::nullopt}, // a prefix the document does not declare
    };
    for (const auto& c : cases) {
        const QString expression = QString::fromUtf8(c.expression);
        EXPECT_EQ(evaluator.firstNodeStringValue(expression), c.expected) << c.expression;
        const auto nodes = evaluator.nodes(expression);
        EXPECT_EQ(nodes && !nodes->empty() ? std::optional(XPathEvaluator::stringValue(nodes->front()))
                                           : std::nullopt,
                  c.expected)
            << c.expression;
    }
    EXPECT_EQ(evaluator.nodes(u"feed/entry"_s)->size(), 2u);
    EXPECT_EQ(XPathEvaluator::toString(*evaluator.evaluate(u"//entry/title"_s)), u"E1"_s);
}

// Whatever selects something without the document's namespaces selects exactly the same with them.
TEST(XPathNamespaceTest, DocumentNamespacesChangeOnlyWhatSelectsNothing) {
    const QByteArray mixed =
        "<feed xmlns='urn:a'><title>A</title><x xmlns=''><title>B</title><y/></x></feed>";
    const char* expressions[] = {
        "//title",      "//*[not(title)]", "/*/*", "//x/title",     "//*[local-name()='y']",
        "//item/title", "//item[2]/@id",   "/rss", "count(//title)"};
    for (const QByteArray& xml : {Feed, NamespacedFeed, mixed}) {
        auto document = parseOrFail(xml);
        XPathEvaluator plain(*document);
        XPathEvaluator lenient(*document);
        lenient.useDocumentNamespaces();
        for (const char* text : expressions) {
            const QString expression = QString::fromUtf8(text);
            const auto before = plain.evaluate(expression);
            const auto after = lenient.evaluate(expression);
            const auto* nodes = before ? std::get_if<std::vector<xmlNodePtr>>(&*before) : nullptr;
            if (before && (!nodes || !nodes->empty())) {
                EXPECT_EQ(after, before) << text << " in " << xml.left(20).constData();
                EXPECT_EQ(lenient.firstNode(expression), plain.firstNode(expression)) << text;
            }
        }
    }
}

TEST(XPathNameRewriterTest, WidensOnlyUnprefixedElementNameTests) {
    const struct {
        const char* expression;
        const char* expected; // null: nothing to rewrite
    } cases[] = {
        {"feed/entry[2]", "*[self::feed or self::d:feed]/*[self::entry or self::d:entry][2]"},
        {"a/@b", "*[self::a or self::d:a]/@b"},
        {"../x", "../*[self::x or self::d:x]"},
        {"$v/x", "$v/*[self::x or self::d:x]"},
        {"count(item) div 2", "count(*[self::item or self::d:item]) div 2"},
        {"a and b", "*[self::a or self::d:a] and *[self::b or self::d:b]"},
        {"a * b", "*[self::a or self::d:a] * *[self::b or self::d:b]"},
        {"//x[@y='a b' and text()]", "//*[self::x or self::d:x][@y='a b' and text()]"},
        {"descendant-or-self::node()/child::t", "descendant-or-self::node()/child::*[self::t or self::d:t]"},
        {"@id", nullptr},
        {"attribute::b | namespace::n", nullptr},
        {"media:thumbnail/@url | p:*", nullptr},
        {"2*3 + string('x')", nullptr},
        {"processing-instruction('x')", nullptr},
        {"x[@a='unterminated", nullptr},
    };
    for (const auto& c : cases) {
        const QString rewritten = XPathNameRewriter::rewrite(QString::fromUtf8(c.expression), {u"d"_s});
        EXPECT_EQ(rewritten, c.expected ? QString::fromUtf8(c.expected) : QString()) << c.expression;
        EXPECT_EQ(rewritten.isNull(), c.expected == nullptr) << c.expression;
    }
    EXPECT_TRUE(XPathNameRewriter::rewrite(u"a/b"_s, {}).isNull());
}
