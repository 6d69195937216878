#include "platform/XPathCache.h"
#include "platform/XPathEvaluator.h"
#include "platform/XPathNameRewriter.h"
#include "platform/XmlDocument.h"
#include "testkit/StderrCapture.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using platform::Error;
using platform::XmlDocument;
using platform::XPathCache;
using platform::XPathEvaluator;
using platform::XPathNameRewriter;
using testing_support::StderrCapture;

namespace {

const QByteArray Feed = R"(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0">
  <channel>
    <title>Scores</title>
    <item id="a"><title>First</title><score>3</score></item>
    <item id="b"><title>Second</title><score>5</score><enclosure url="http://example.com/b.png"/></item>
    <item id="c"><title>Third</title><score>7</score></item>
    <empty/>
  </channel>
</rss>
)";

std::unique_ptr<XmlDocument> parseOrFail(const QByteArray& bytes,
                                         XmlDocument::BlankNodes blanks = XmlDocument::BlankNodes::Keep) {
    Error error;
    auto document = XmlDocument::parse(bytes, &error, blanks);
    EXPECT_TRUE(document) << error.localizedDescription().toStdString();
    return document;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Parsing

// libxml2 must report through the returned error, never by printing to stderr.
TEST(XmlDocumentTest, MalformedInputFailsWithLibxmlTextAndLineAndNothingOnStderr) {
    const struct {
        const char* name;
        QByteArray bytes;
        const char* expectedDescription;
    } cases[] = {
        {"TagMismatch", "<a>\n<b>\n</a>", "line 3: Opening and ending tag mismatch: b line 2 and a"},
        {"Empty", "", "line 1: Document is empty"},
        {"NotXml", "hello", "line 1: Start tag expected, '<' not found"},
        {"Truncated", "<a><b>text", "line 1: Premature end of data in tag b line 1"},
        {"TwoRoots", "<a/>\n<b/>", "line 2: Extra content at the end of the document"},
        {"BadEntity", "<a>fish & chips</a>", "line 1: xmlParseEntityRef: no name"},
    };
    StderrCapture capture;
    for (const auto& c : cases) {
        Error error;
        EXPECT_EQ(XmlDocument::parse(c.bytes, &error), nullptr) << c.name;
        EXPECT_EQ(error.domain, Error::XmlDomain) << c.name;
        EXPECT_NE(error.code, 0) << c.name;
        EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(c.expectedDescription)) << c.name;
        EXPECT_EQ(XmlDocument::parse(c.bytes), nullptr) << c.name << " without an error to fill";
    }
    EXPECT_EQ(capture.text(), QString());
}

// A consumed input gives its memory back while the tree grows: the tree must not notice, and an
// input shared with someone else must come through untouched.
TEST(XmlDocumentTest, ConsumingParseGivesTheSameTreeAndSparesSharedInput) {
    QByteArray feed = "<feed>";
    for (int i = 1; i <= 120000; ++i)
        feed += "\n  <item><n>" + QByteArray::number(i) + "</n><t>text of item " + QByteArray::number(i) +
                ", long enough for a block of its own</t></item>";
    feed += "\n</feed>";
    ASSERT_GT(feed.size(), 8 * 1024 * 1024);
    const QByteArray original(feed.constData(), feed.size()); // a copy of its own
    for (bool detached : {true, false}) {
        QByteArray input = detached ? QByteArray(original.constData(), original.size()) : feed;
        auto document = XmlDocument::parse(std::move(input));
        ASSERT_TRUE(document) << detached;
        EXPECT_TRUE(input.isEmpty());
        XPathEvaluator evaluator(*document);
        for (int i : {1, 60000, 120000}) {
            EXPECT_EQ(evaluator.firstNodeStringValue(QStringLiteral("/feed/item[%1]/t").arg(i)),
                      QStringLiteral("text of item %1, long enough for a block of its own").arg(i));
        }
    }
    EXPECT_EQ(feed, original);
}

// libxml2's error handlers are per thread: parallel parses must each get their own error text.
TEST(XmlDocumentTest, ConcurrentParsesReportTheirOwnErrors) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            const QByteArray name = "tag" + QByteArray::number(t);
            const QByteArray bytes = "<" + name + ">\n<x>\n</" + name + ">";
            const QString expected =
                QStringLiteral("line 3: Opening and ending tag mismatch: x line 2 and ") +
                QString::fromLatin1(name);
            for (int i = 0; i < 300; ++i) {
                Error error;
                if (XmlDocument::parse(bytes, &error) || error.localizedDescription() != expected)
                    ++mismatches;
                auto valid = XmlDocument::parse("<" + name + "/>");
                if (!valid || XPathEvaluator(*valid).nodes(QString::fromLatin1("/" + name))->size() != 1)
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Guards against exponential entity expansion ("billion laughs"): the parser must refuse it
// rather than allocate gigabytes.
TEST(XmlDocumentTest, EntityExpansionBombIsRefused) {
    QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 10; ++level) {
        bomb += "<!ENTITY lol" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            bomb += "&lol" + QByteArray::number(level - 1) + ";";
        bomb += "\">\n";
    }
    bomb += "]>\n<lolz>&lol10;</lolz>\n";
    Error error;
    EXPECT_EQ(XmlDocument::parse(bomb, &error), nullptr);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("entity"), Qt::CaseInsensitive))
        << error.localizedDescription().toStdString();
}

// Guards against XXE: a feed must not be able to pull local files into its values.
TEST(XmlDocumentTest, ExternalEntitiesAreNotLoaded) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString secretPath = folder.filePath(QStringLiteral("secret.txt"));
    const QString dtdPath = folder.filePath(QStringLiteral("evil.dtd"));
    ASSERT_TRUE(testing_support::writeFile(secretPath, "TOP-SECRET"));
    ASSERT_TRUE(testing_support::writeFile(dtdPath, "<!ENTITY leak \"TOP-SECRET-FROM-DTD\">"));
    const QByteArray secretUrl = "file://" + secretPath.toUtf8();
    const QByteArray dtdUrl = "file://" + dtdPath.toUtf8();

    const QList<QByteArray> documents = {
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY xxe SYSTEM \"" + secretUrl + "\"> ]>\n<r>&xxe;</r>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [ <!ENTITY % p SYSTEM \"" + dtdUrl +
            "\"> %p; ]>\n<r>&leak;</r>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"" + dtdUrl + "\">\n<r>&leak;</r>",
    };
    for (const QByteArray& bytes : documents) {
        auto document = XmlDocument::parse(bytes);
        if (!document)
            continue; // refusing the document is as good as not expanding it
        XPathEvaluator evaluator(*document);
        EXPECT_EQ(evaluator.firstNodeStringValue(QStringLiteral("string(/r)")), std::nullopt);
        const auto text = evaluator.evaluate(QStringLiteral("string(/r)"));
        ASSERT_TRUE(text);
        EXPECT_FALSE(XPathEvaluator::toString(*text).contains(QStringLiteral("SECRET")))
            << bytes.toStdString();
        EXPECT_FALSE(document->toPrettyBytes().contains("SECRET")) << bytes.toStdString();
    }
}

// Kept blank nodes are written back as they came; without them the output is indented afresh.
TEST(XmlDocumentTest, BlankNodesAreKeptOrRemovedOnRequest) {
    const QByteArray messy = "<a>\n<b>   <c>x</c></b>\n     <d/></a>";
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    auto kept = parseOrFail(messy, XmlDocument::BlankNodes::Keep);
    auto removed = parseOrFail(messy, XmlDocument::BlankNodes::Remove);
    ASSERT_TRUE(kept && removed);
    EXPECT_EQ(XPathEvaluator(*kept).nodes(QStringLiteral("/a/node()"))->size(), 4u);
    EXPECT_EQ(XPathEvaluator(*removed).nodes(QStringLiteral("/a/node()"))->size(), 2u);
    EXPECT_EQ(kept->toPrettyBytes(), declaration + messy + "\n");
    EXPECT_EQ(removed->toPrettyBytes(), declaration + "<a>\n  <b>\n    <c>x</c>\n  </b>\n  <d/>\n</a>\n");
}

// ---------------------------------------------------------------------------------------------
// XPath

class XPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        document = parseOrFail(Feed);
        ASSERT_TRUE(document);
        evaluator = std::make_unique<XPathEvaluator>(*document, &cache);
    }
    XPathCache cache;
    std::unique_ptr<XmlDocument> document;
    std::unique_ptr<XPathEvaluator> evaluator;
};

TEST_F(XPathTest, PathsSelectTheExpectedStringValues) {
    const struct {
        const char* expression;
        std::optional<QString> expected;
    } cases[] = {
        {"rss/channel/title", QStringLiteral("Scores")}, // relative: evaluated from the document node
        {"/rss/channel/title", QStringLiteral("Scores")},
        {"//item[2]/title", QStringLiteral("Second")},
        {"/rss/channel/item[2]/enclosure/@url", QStringLiteral("http://example.com/b.png")},
        {"//item/@id", QStringLiteral("a")},
        {"/rss/@version", QStringLiteral("2.0")},
        {"//item[@id='c']/score/text()", QStringLiteral("7")},
        {"//item[last()]/title", QStringLiteral("Third")},
        {"/rss/channel/empty", QStringLiteral("")}, // matched but empty is not "nothing"
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
    EXPECT_EQ(cache.compiled(QStringLiteral("//item[")), nullptr);
    EXPECT_EQ(cache.size(), remembered);
    EXPECT_EQ(capture.text(), QString());
}

TEST_F(XPathTest, CompiledExpressionsAreReusedAcrossDocuments) {
    const QString expression = QStringLiteral("//item[score > 4]/title");
    EXPECT_EQ(evaluator->firstNodeStringValue(expression), QStringLiteral("Second"));
    xmlXPathCompExprPtr compiled = cache.compiled(expression);
    ASSERT_NE(compiled, nullptr);
    const std::size_t size = cache.size();

    evaluator.reset();
    document.reset();
    auto other =
        parseOrFail("<rss><channel><item><title>Only</title><score>9</score></item></channel></rss>");
    ASSERT_TRUE(other);
    XPathEvaluator second(*other, &cache);
    EXPECT_EQ(second.firstNodeStringValue(expression), QStringLiteral("Only"));
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
        {"sum(//score) div 2", Number, "7.5"},
        {"-0.5", Number, "-0.5"},
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
    EXPECT_EQ(std::get<double>(*evaluator->evaluate(QStringLiteral("count(//item)"))), 3.0);
    EXPECT_EQ(evaluator->nodes(QStringLiteral("//item/title"))->size(), 3u);
    EXPECT_EQ(evaluator->nodes(QStringLiteral("count(//item)")), std::nullopt);
    EXPECT_EQ(evaluator->nodes(QStringLiteral("//nothing")), std::vector<xmlNodePtr>());
}

TEST_F(XPathTest, ExplicitContextNodeAnchorsRelativePaths) {
    const auto items = evaluator->nodes(QStringLiteral("//item"));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 3u);
    QStringList titles;
    for (xmlNodePtr item : *items)
        titles
            << evaluator->firstNodeStringValue(QStringLiteral("title"), item).value_or(QStringLiteral("?"));
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third")}));
    EXPECT_EQ(evaluator->firstNodeStringValue(QStringLiteral("../title"), items->at(0)),
              QStringLiteral("Scores"));
    // The context node resets to the document node when none is given.
    EXPECT_EQ(evaluator->firstNodeStringValue(QStringLiteral("title")), std::nullopt);

    auto other = parseOrFail("<item><title>Elsewhere</title></item>");
    ASSERT_TRUE(other);
    EXPECT_EQ(evaluator->firstNodeStringValue(QStringLiteral("title"), other->rootElement()), std::nullopt);
}

// The text is Latin-1, as its declaration says.
TEST(XPathStringValueTest, FollowsTheXPathDataModel) {
    auto document =
        parseOrFail("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                    "<!DOCTYPE p [ <!ENTITY who \"world\"> ]>\n"
                    "<p lang=\"en &amp; fr\">Hello <b>big <i>wid\xe9</i></b> &who;<!-- note --><?pi "
                    "data?><![CDATA[ <raw>]]></p>");
    ASSERT_TRUE(document);
    XPathEvaluator evaluator(*document);
    const struct {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"/p", "Hello big widé world <raw>"},
        {"/p/b", "big widé"},
        {"/p/@lang", "en & fr"},
        {"/p/text()[1]", "Hello "},
        {"/p/comment()", " note "},
        {"/p/processing-instruction()", "data"},
        {"/", "Hello big widé world <raw>"},
    };
    for (const auto& c : cases) {
        const QString expression = QString::fromUtf8(c.expression);
        const auto nodes = evaluator.nodes(expression);
        ASSERT_TRUE(nodes && !nodes->empty()) << c.expression;
        EXPECT_EQ(XPathEvaluator::stringValue(nodes->front()), QString::fromUtf8(c.expected)) << c.expression;
        // Agrees with the engine's own string().
        const auto engine = evaluator.evaluate(QStringLiteral("string(") + expression + QStringLiteral(")"));
        ASSERT_TRUE(engine) << c.expression;
        EXPECT_EQ(XPathEvaluator::toString(*engine), QString::fromUtf8(c.expected)) << c.expression;
    }
    EXPECT_TRUE(XPathEvaluator::stringValue(nullptr).isNull());
}

TEST(XPathLocationPathTest, IndexesOnlySameNamedSiblings) {
    auto document =
        parseOrFail("<rss><channel><title>T</title><item><title>1</title></item><item><title>2</title></item>"
                    "<item><title a=\"x\">3</title></item></channel></rss>");
    ASSERT_TRUE(document);
    XPathEvaluator evaluator(*document);
    const struct {
        const char* expression;
        const char* path;
    } cases[] = {
        {"//item[3]/title", "/rss/channel/item[3]/title"},
        {"/rss/channel/title", "/rss/channel/title"},
        {"//item[1]", "/rss/channel/item[1]"},
        {"//item[3]/title/@a", "/rss/channel/item[3]/title/@a"},
        {"//item[2]/title/text()", "/rss/channel/item[2]/title/text()"},
        {"/rss", "/rss"},
    };
    for (const auto& c : cases) {
        const auto nodes = evaluator.nodes(QString::fromUtf8(c.expression));
        ASSERT_TRUE(nodes && nodes->size() == 1) << c.expression;
        EXPECT_EQ(XPathEvaluator::locationPath(nodes->front()), QString::fromUtf8(c.path)) << c.expression;
        // The path leads back to the same node.
        EXPECT_EQ(evaluator.nodes(XPathEvaluator::locationPath(nodes->front())), nodes) << c.expression;
    }
}

TEST(XPathNamespaceTest, DefaultNamespaceNeedsARegisteredPrefix) {
    auto document = parseOrFail("<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>F</title>"
                                "<entry><title>E1</title></entry><entry><title>E2</title></entry></feed>");
    ASSERT_TRUE(document);
    XPathEvaluator evaluator(*document);
    EXPECT_EQ(evaluator.nodes(QStringLiteral("/feed/entry")), std::vector<xmlNodePtr>());
    EXPECT_EQ(evaluator.firstNodeStringValue(QStringLiteral("/a:feed/a:entry[2]/a:title")), std::nullopt);
    ASSERT_TRUE(
        evaluator.registerNamespace(QStringLiteral("a"), QStringLiteral("http://www.w3.org/2005/Atom")));
    const auto title = evaluator.nodes(QStringLiteral("/a:feed/a:entry[2]/a:title"));
    ASSERT_TRUE(title && title->size() == 1);
    EXPECT_EQ(XPathEvaluator::stringValue(title->front()), QStringLiteral("E2"));
    EXPECT_EQ(XPathEvaluator::locationPath(title->front()), QStringLiteral("/*/*[3]/*"));
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
    ASSERT_TRUE(document);
    XPathEvaluator evaluator(*document);
    evaluator.useDocumentNamespaces();
    const struct {
        const char* expression;
        std::optional<QString> expected;
    } cases[] = {
        {"feed/title", QStringLiteral("F")},
        {"/feed/entry[2]/title", QStringLiteral("E2")},
        {"feed/entry/media:thumbnail/@url", QStringLiteral("u1")},
        {"//entry[2]/media:thumbnail/@url", QStringLiteral("u2")},
        {"feed/entry/link/@href", QStringLiteral("h1")},
        {"//entry[title='E2']/content/div/p", QStringLiteral("Body")},
        {"feed/entry/ext:note", QStringLiteral("N")},
        {"/*/*[3]/*[1]", QStringLiteral("E2")}, // location paths keep working
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
    EXPECT_EQ(evaluator.nodes(QStringLiteral("feed/entry"))->size(), 2u);
    EXPECT_EQ(XPathEvaluator::toString(*evaluator.evaluate(QStringLiteral("//entry/title"))),
              QStringLiteral("E1"));
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
        ASSERT_TRUE(document);
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
        const QString rewritten =
            XPathNameRewriter::rewrite(QString::fromUtf8(c.expression), {QStringLiteral("d")});
        EXPECT_EQ(rewritten, c.expected ? QString::fromUtf8(c.expected) : QString()) << c.expression;
        EXPECT_EQ(rewritten.isNull(), c.expected == nullptr) << c.expression;
    }
    EXPECT_TRUE(XPathNameRewriter::rewrite(QStringLiteral("a/b"), {}).isNull());
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST(XmlWriteTest, PrettyOutputEscapesRefusesInvalidNamesAndRoundTrips) {
    auto document = XmlDocument::create(QStringLiteral("playlist"));
    ASSERT_TRUE(document);
    xmlNodePtr root = document->rootElement();
    ASSERT_TRUE(XmlDocument::setAttribute(root, QStringLiteral("name"), QStringLiteral("R&D <\"live\">")));
    xmlNodePtr item = XmlDocument::addElement(root, QStringLiteral("item"));
    ASSERT_TRUE(item);
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("text"), QStringLiteral("Fish & <chips> ✓ 𝄞")));
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("empty"), QStringLiteral("")));
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("bell"), QStringLiteral("a\x01z\tb")));
    // Invalid names are refused and leave no trace.
    EXPECT_EQ(XmlDocument::create(QStringLiteral("1abc")), nullptr);
    EXPECT_EQ(XmlDocument::create(QString()), nullptr);
    EXPECT_EQ(XmlDocument::addElement(root, QStringLiteral("a b")), nullptr);
    EXPECT_EQ(XmlDocument::addElement(nullptr, QStringLiteral("a")), nullptr);
    EXPECT_FALSE(XmlDocument::setAttribute(item, QStringLiteral("<x"), QStringLiteral("v")));

    const QByteArray bytes = document->toPrettyBytes();
    EXPECT_EQ(bytes, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<playlist name=\"R&amp;D &lt;&quot;live&quot;&gt;\">\n"
                                "  <item>\n"
                                "    <text>Fish &amp; &lt;chips&gt; \xE2\x9C\x93 \xF0\x9D\x84\x9E</text>\n"
                                "    <empty></empty>\n"
                                "    <bell>a\xEF\xBF\xBDz\tb</bell>\n"
                                "  </item>\n"
                                "</playlist>\n"));

    auto reread = parseOrFail(bytes);
    ASSERT_TRUE(reread);
    XPathEvaluator evaluator(*reread);
    EXPECT_EQ(evaluator.firstNodeStringValue(QStringLiteral("/playlist/@name")),
              QStringLiteral("R&D <\"live\">"));
    EXPECT_EQ(XmlDocument::attribute(reread->rootElement(), QStringLiteral("name")),
              QStringLiteral("R&D <\"live\">"));
    EXPECT_EQ(XmlDocument::attribute(reread->rootElement(), QStringLiteral("missing")), std::nullopt);
    EXPECT_EQ(evaluator.firstNodeStringValue(QStringLiteral("//text")), QStringLiteral("Fish & <chips> ✓ 𝄞"));
}

// Writing replaces the file whole; a write that fails, at the start or half way (here: the file
// size limit, as a full disk would), leaves the previous file whole. Neither leaves a temporary
// file behind.
TEST(XmlWriteTest, WritingReplacesTheFileOrLeavesItAsItWas) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    auto document = XmlDocument::create(QStringLiteral("new"));
    ASSERT_TRUE(document);
    for (int i = 0; i < 50; ++i)
        XmlDocument::addElement(document->rootElement(), QStringLiteral("row"), QString::number(i));
    const auto entries = [](const QString& path) {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QString replaced = folder.filePath(QStringLiteral("replaced.xml"));
    const QString taken = folder.filePath(QStringLiteral("taken"));
    const QString locked = folder.filePath(QStringLiteral("locked"));
    const QString list = folder.filePath(QStringLiteral("list.xml"));
    ASSERT_TRUE(testing_support::writeFile(replaced, "<old/>"));
    ASSERT_TRUE(QDir().mkdir(taken));
    ASSERT_TRUE(testing_support::writeFile(locked + QStringLiteral("/list.xml"), "<old/>"));
    ASSERT_TRUE(testing_support::writeFile(list, "<old/>"));
    ASSERT_GT(document->toPrettyBytes().size(), 256);

    Error replaceError;
    ASSERT_TRUE(document->writePretty(replaced, &replaceError))
        << replaceError.localizedDescription().toStdString();
    EXPECT_EQ(testing_support::readFile(replaced), document->toPrettyBytes());

    const auto expectFailure = [&](const QString& path) {
        Error error;
        EXPECT_FALSE(document->writePretty(path, &error)) << path.toStdString();
        EXPECT_EQ(error.domain, Error::FileDomain) << path.toStdString();
        EXPECT_TRUE(error.localizedDescription().contains(path)) << path.toStdString();
    };
    expectFailure(taken);
    expectFailure(folder.filePath(QStringLiteral("no/such/folder/list.xml")));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    if (::access(locked.toLocal8Bit().constData(), W_OK) != 0) // folder permissions do not hold for root
        expectFailure(locked + QStringLiteral("/list.xml"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    expectFailure(list);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(QFileInfo(taken).isDir());
    EXPECT_EQ(testing_support::readFile(list), QByteArray("<old/>"));
    EXPECT_EQ(testing_support::readFile(locked + QStringLiteral("/list.xml")), QByteArray("<old/>"));
    EXPECT_EQ(entries(folder.path()), (QStringList{QStringLiteral("list.xml"), QStringLiteral("locked"),
                                                   QStringLiteral("replaced.xml"), QStringLiteral("taken")}));
    EXPECT_EQ(entries(locked), QStringList{QStringLiteral("list.xml")});
    EXPECT_EQ(entries(taken), QStringList());
}
