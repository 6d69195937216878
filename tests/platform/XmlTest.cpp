#include "platform/XPathCache.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"
#include "support/TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
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
using platform::XPathValue;

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

/// Sends everything written to file descriptor 2 into a file while alive.
class StderrCapture {
  public:
    StderrCapture() {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QByteArray text() {
        restore();
        return testing_support::readFile(m_file.fileName());
    }

  private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Parsing

struct MalformedCase {
    const char* name;
    QByteArray bytes;
    const char* expectedDescription;
};

class XmlMalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(XmlMalformedTest, FailsWithLibxmlTextAndLine) {
    Error error;
    EXPECT_EQ(XmlDocument::parse(GetParam().bytes, &error), nullptr);
    EXPECT_EQ(error.domain, Error::XmlDomain);
    EXPECT_NE(error.code, 0);
    EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(GetParam().expectedDescription));
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlMalformedTest,
    ::testing::Values(
        MalformedCase{"TagMismatch", "<a>\n<b>\n</a>",
                      "line 3: Opening and ending tag mismatch: b line 2 and a"},
        MalformedCase{"Empty", "", "line 1: Document is empty"},
        MalformedCase{"NotXml", "hello", "line 1: Start tag expected, '<' not found"},
        MalformedCase{"Truncated", "<a><b>text", "line 1: Premature end of data in tag b line 1"},
        MalformedCase{"TwoRoots", "<a/>\n<b/>", "line 2: Extra content at the end of the document"},
        MalformedCase{"BadEntity", "<a>fish & chips</a>", "line 1: xmlParseEntityRef: no name"}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(XmlDocumentTest, ParseErrorsAndXPathErrorsStayOffStderr) {
    StderrCapture capture;
    EXPECT_EQ(XmlDocument::parse("<a><b></a>"), nullptr);
    auto document = parseOrFail(Feed);
    XPathEvaluator evaluator(*document);
    EXPECT_FALSE(evaluator.nodes(QStringLiteral("//item[")));
    EXPECT_FALSE(evaluator.nodes(QStringLiteral("unknownFunction()")));
    EXPECT_FALSE(evaluator.nodes(QStringLiteral("x:y")));
    EXPECT_EQ(capture.text(), QByteArray());
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

TEST(XmlDocumentTest, EncodingComesFromTheDeclaration) {
    auto document = parseOrFail("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xe9</a>");
    ASSERT_TRUE(document);
    EXPECT_EQ(XPathEvaluator::stringValue(document->rootElement()), QStringLiteral("café"));
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

TEST(XmlDocumentTest, BlankNodesAreKeptOrRemovedOnRequest) {
    const QByteArray bytes = "<a>\n  <b>x</b>\n  <c/>\n</a>";
    auto kept = parseOrFail(bytes, XmlDocument::BlankNodes::Keep);
    auto removed = parseOrFail(bytes, XmlDocument::BlankNodes::Remove);
    ASSERT_TRUE(kept && removed);
    EXPECT_EQ(xmlChildElementCount(kept->rootElement()), 2u);
    EXPECT_EQ(XPathEvaluator(*kept).nodes(QStringLiteral("/a/node()"))->size(), 5u);
    EXPECT_EQ(XPathEvaluator(*removed).nodes(QStringLiteral("/a/node()"))->size(), 2u);
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

TEST_F(XPathTest, InvalidExpressionsGiveNothingAndAreCompiledOnce) {
    for (const char* expression : {"//item[", "", "a b", "count(", "unknownFunction()", "x:item", "1 +"}) {
        const QString text = QString::fromUtf8(expression);
        EXPECT_EQ(evaluator->nodes(text), std::nullopt) << expression;
        EXPECT_EQ(evaluator->firstNodeStringValue(text), std::nullopt) << expression;
        EXPECT_EQ(evaluator->evaluate(text), std::nullopt) << expression;
    }
    const std::size_t remembered = cache.size();
    EXPECT_EQ(cache.compiled(QStringLiteral("//item[")), nullptr);
    EXPECT_EQ(cache.size(), remembered);
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

TEST_F(XPathTest, GenericEvaluationGivesEachResultType) {
    const auto number = evaluator->evaluate(QStringLiteral("count(//item)"));
    ASSERT_TRUE(number && std::holds_alternative<double>(*number));
    EXPECT_EQ(std::get<double>(*number), 3.0);

    const auto sum = evaluator->evaluate(QStringLiteral("sum(//score) div 2"));
    ASSERT_TRUE(sum && std::holds_alternative<double>(*sum));
    EXPECT_EQ(XPathEvaluator::toString(*sum), QStringLiteral("7.5"));

    const auto text = evaluator->evaluate(QStringLiteral("concat(string(/rss/channel/title), '!')"));
    ASSERT_TRUE(text && std::holds_alternative<QString>(*text));
    EXPECT_EQ(std::get<QString>(*text), QStringLiteral("Scores!"));

    const auto boolean = evaluator->evaluate(QStringLiteral("count(//item) > 2"));
    ASSERT_TRUE(boolean && std::holds_alternative<bool>(*boolean));
    EXPECT_TRUE(std::get<bool>(*boolean));

    const auto set = evaluator->evaluate(QStringLiteral("//item/title"));
    ASSERT_TRUE(set && std::holds_alternative<std::vector<xmlNodePtr>>(*set));
    EXPECT_EQ(std::get<std::vector<xmlNodePtr>>(*set).size(), 3u);
    EXPECT_EQ(XPathEvaluator::toString(*set), QStringLiteral("First"));

    EXPECT_EQ(evaluator->nodes(QStringLiteral("count(//item)")), std::nullopt);
    EXPECT_EQ(evaluator->nodes(QStringLiteral("//nothing")), std::vector<xmlNodePtr>());
}

TEST(XPathStringTest, ValuesConvertAsXPathStringDoes) {
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(3.0)), QStringLiteral("3"));
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(-0.5)), QStringLiteral("-0.5"));
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(std::numeric_limits<double>::quiet_NaN())),
              QStringLiteral("NaN"));
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(std::numeric_limits<double>::infinity())),
              QStringLiteral("Infinity"));
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(true)), QStringLiteral("true"));
    EXPECT_EQ(XPathEvaluator::toString(XPathValue(std::vector<xmlNodePtr>())), QStringLiteral(""));
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

TEST(XPathStringValueTest, FollowsTheXPathDataModel) {
    auto document = parseOrFail("<?xml version=\"1.0\"?>\n<!DOCTYPE p [ <!ENTITY who \"world\"> ]>\n"
                                "<p lang=\"en &amp; fr\">Hello <b>big <i>wide</i></b> &who;<!-- note --><?pi "
                                "data?><![CDATA[ <raw>]]></p>");
    ASSERT_TRUE(document);
    XPathEvaluator evaluator(*document);
    const struct {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"/p", "Hello big wide world <raw>"},
        {"/p/b", "big wide"},
        {"/p/@lang", "en & fr"},
        {"/p/text()[1]", "Hello "},
        {"/p/comment()", " note "},
        {"/p/processing-instruction()", "data"},
        {"/", "Hello big wide world <raw>"},
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

// ---------------------------------------------------------------------------------------------
// Writing

TEST(XmlWriteTest, PrettyOutputEscapesAndRoundTrips) {
    auto document = XmlDocument::create(QStringLiteral("playlist"));
    ASSERT_TRUE(document);
    xmlNodePtr root = document->rootElement();
    ASSERT_TRUE(XmlDocument::setAttribute(root, QStringLiteral("name"), QStringLiteral("R&D <\"live\">")));
    xmlNodePtr item = XmlDocument::addElement(root, QStringLiteral("item"));
    ASSERT_TRUE(item);
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("text"), QStringLiteral("Fish & <chips> ✓ 𝄞")));
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("empty"), QStringLiteral("")));
    ASSERT_TRUE(XmlDocument::addElement(item, QStringLiteral("bell"), QStringLiteral("a\x01z\tb")));

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

TEST(XmlWriteTest, InvalidNamesAreRefused) {
    EXPECT_EQ(XmlDocument::create(QStringLiteral("1abc")), nullptr);
    EXPECT_EQ(XmlDocument::create(QString()), nullptr);
    auto document = XmlDocument::create(QStringLiteral("root"));
    ASSERT_TRUE(document);
    EXPECT_EQ(XmlDocument::addElement(document->rootElement(), QStringLiteral("a b")), nullptr);
    EXPECT_EQ(XmlDocument::addElement(nullptr, QStringLiteral("a")), nullptr);
    EXPECT_FALSE(
        XmlDocument::setAttribute(document->rootElement(), QStringLiteral("<x"), QStringLiteral("v")));
    EXPECT_EQ(document->toPrettyBytes(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root/>\n"));
}

TEST(XmlWriteTest, ReindentsOnlyDocumentsParsedWithoutBlankNodes) {
    const QByteArray messy = "<a>\n<b>   <c>x</c></b>\n     <d/></a>";
    auto removed = parseOrFail(messy, XmlDocument::BlankNodes::Remove);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->toPrettyBytes(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                   "<a>\n  <b>\n    <c>x</c>\n  </b>\n  <d/>\n</a>\n"));
    auto kept = parseOrFail(messy, XmlDocument::BlankNodes::Keep);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->toPrettyBytes(),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + messy + QByteArray("\n"));
}

class XmlAtomicWriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        document = XmlDocument::create(QStringLiteral("new"));
        ASSERT_TRUE(document);
        for (int i = 0; i < 50; ++i)
            XmlDocument::addElement(document->rootElement(), QStringLiteral("row"), QString::number(i));
    }
    QStringList entries(const QString& path) const {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir folder;
    std::unique_ptr<XmlDocument> document;
};

TEST_F(XmlAtomicWriteTest, WritesAndReplaces) {
    const QString path = folder.filePath(QStringLiteral("list.xml"));
    ASSERT_TRUE(testing_support::writeFile(path, "<old/>"));
    Error error;
    ASSERT_TRUE(document->writePretty(path, &error)) << error.localizedDescription().toStdString();
    EXPECT_EQ(testing_support::readFile(path), document->toPrettyBytes());
    EXPECT_EQ(entries(folder.path()), QStringList{QStringLiteral("list.xml")});
}

TEST_F(XmlAtomicWriteTest, DestinationThatIsAFolderFails) {
    const QString path = folder.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkdir(path));
    Error error;
    EXPECT_FALSE(document->writePretty(path, &error));
    EXPECT_EQ(error.domain, Error::FileDomain);
    EXPECT_TRUE(error.localizedDescription().contains(path));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(XmlAtomicWriteTest, MissingFolderFails) {
    Error error;
    EXPECT_FALSE(document->writePretty(folder.filePath(QStringLiteral("no/such/folder/list.xml")), &error));
    EXPECT_EQ(error.domain, Error::FileDomain);
}

TEST_F(XmlAtomicWriteTest, UnwritableFolderLeavesTheOldFile) {
    const QString sub = folder.filePath(QStringLiteral("locked"));
    const QString path = sub + QStringLiteral("/list.xml");
    ASSERT_TRUE(testing_support::writeFile(path, "<old/>"));
    ASSERT_TRUE(QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner));
    if (::access(sub.toLocal8Bit().constData(), W_OK) == 0) {
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "folder permissions are not enforced for this user";
    }
    Error error;
    EXPECT_FALSE(document->writePretty(path, &error));
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(error.domain, Error::FileDomain);
    EXPECT_EQ(testing_support::readFile(path), QByteArray("<old/>"));
    EXPECT_EQ(entries(sub), QStringList{QStringLiteral("list.xml")});
}

// A write that fails half way (here: the file size limit, as a full disk would) must leave the
// previous file whole and no temporary file behind. Works for any user, root included.
TEST_F(XmlAtomicWriteTest, FailedWriteLeavesTheOldFileAndNoLeftovers) {
    const QString path = folder.filePath(QStringLiteral("list.xml"));
    ASSERT_TRUE(testing_support::writeFile(path, "<old/>"));
    ASSERT_GT(document->toPrettyBytes().size(), 256);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    Error error;
    const bool written = document->writePretty(path, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(error.domain, Error::FileDomain);
    EXPECT_EQ(testing_support::readFile(path), QByteArray("<old/>"));
    EXPECT_EQ(entries(folder.path()), QStringList{QStringLiteral("list.xml")});
}
