#include "XmlTestDocuments.h"
#include "platform/AtomicFileWriter.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"
#include "platform/XmlPrettyStreamWriter.h"
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
using platform::XPathEvaluator;
using testing_support::StderrCapture;

using xml_test::parseOrFail;

// ---- Parsing --------------------------------------------------------------------------------

// libxml2 must report through the returned error, never by printing to stderr: its first error
// (a truncated tag gives several), with the line it is on. The texts themselves are libxml2's.
TEST(XmlDocumentTest, MalformedInputFailsWithLibxmlTextAndLineAndNothingOnStderr) {
    const struct {
        const char* name;
        QByteArray bytes;
        const char* expectedDescription;
    } cases[] = {
        {"TagMismatch", "<a>\n<b>\n</a>", "line 3: Opening and ending tag mismatch: b line 2 and a"},
        {"Empty", "", "line 1: Document is empty"},
        {"Truncated", "<a><b>text", "line 1: Premature end of data in tag b line 1"},
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
            EXPECT_EQ(evaluator.firstNodeStringValue(u"/feed/item[%1]/t"_s.arg(i)),
                      u"text of item %1, long enough for a block of its own"_s.arg(i));
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
                u"line 3: Opening and ending tag mismatch: x line 2 and "_s + QString::fromLatin1(name);
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
    EXPECT_TRUE(error.localizedDescription().contains(u"entity"_s, Qt::CaseInsensitive))
        << error.localizedDescription().toStdString();
}

// Guards against XXE: a feed must not be able to pull local files into its values.
TEST(XmlDocumentTest, ExternalEntitiesAreNotLoaded) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString secretPath = folder.filePath(u"secret.txt"_s);
    const QString dtdPath = folder.filePath(u"evil.dtd"_s);
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
        EXPECT_EQ(evaluator.firstNodeStringValue(u"string(/r)"_s), std::nullopt);
        const auto text = evaluator.evaluate(u"string(/r)"_s);
        ASSERT_TRUE(text);
        EXPECT_FALSE(XPathEvaluator::toString(*text).contains(u"SECRET"_s)) << bytes.toStdString();
        EXPECT_FALSE(document->toPrettyBytes().contains("SECRET")) << bytes.toStdString();
    }
}

// Kept blank nodes are written back as they came; without them the output is indented afresh.
TEST(XmlDocumentTest, BlankNodesAreKeptOrRemovedOnRequest) {
    const QByteArray messy = "<a>\n<b>   <c>x</c></b>\n     <d/></a>";
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    auto kept = parseOrFail(messy, XmlDocument::BlankNodes::Keep);
    auto removed = parseOrFail(messy, XmlDocument::BlankNodes::Remove);
    EXPECT_EQ(XPathEvaluator(*kept).nodes(u"/a/node()"_s)->size(), 4u);
    EXPECT_EQ(XPathEvaluator(*removed).nodes(u"/a/node()"_s)->size(), 2u);
    EXPECT_EQ(kept->toPrettyBytes(), declaration + messy + "\n");
    EXPECT_EQ(removed->toPrettyBytes(), declaration + "<a>\n  <b>\n    <c>x</c>\n  </b>\n  <d/>\n</a>\n");
}

// ---- Writing --------------------------------------------------------------------------------

TEST(XmlWriteTest, PrettyOutputEscapesRefusesInvalidNamesAndRoundTrips) {
    auto document = XmlDocument::create(u"playlist"_s);
    ASSERT_TRUE(document);
    xmlNodePtr root = document->rootElement();
    ASSERT_TRUE(XmlDocument::setAttribute(root, u"name"_s, u"R&D <\"live\">"_s));
    xmlNodePtr item = XmlDocument::addElement(root, u"item"_s);
    ASSERT_TRUE(item);
    ASSERT_TRUE(XmlDocument::addElement(item, u"text"_s, u"Fish & <chips> ✓ 𝄞"_s));
    ASSERT_TRUE(XmlDocument::addElement(item, u"empty"_s, u""_s));
    ASSERT_TRUE(XmlDocument::addElement(item, u"bell"_s, u"a\x01z\tb"_s));
    // Invalid names are refused and leave no trace.
    EXPECT_EQ(XmlDocument::create(u"1abc"_s), nullptr);
    EXPECT_EQ(XmlDocument::create(QString()), nullptr);
    EXPECT_EQ(XmlDocument::addElement(root, u"a b"_s), nullptr);
    EXPECT_EQ(XmlDocument::addElement(nullptr, u"a"_s), nullptr);
    EXPECT_FALSE(XmlDocument::setAttribute(item, u"<x"_s, u"v"_s));

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
    EXPECT_EQ(XmlDocument::attribute(reread->rootElement(), u"name"_s), u"R&D <\"live\">"_s);
    EXPECT_EQ(XmlDocument::attribute(reread->rootElement(), u"missing"_s), std::nullopt);
}

// A document written child by child is the same file, byte for byte, as the whole document
// printed at once: non-ASCII attribute values, mixed content, namespaces, empty elements, none.
TEST(XmlWriteTest, StreamedChildrenPrintAsTheWholeDocument) {
    const QByteArray children[] = {
        "",
        "<item a=\"D\xE2\x80\x93 1 &amp; &lt;\" xml:space=\"preserve\"><e/><t>x \xE2\x9C\x93</t></item>",
        "<item><m>text <b>bold</b> tail</m><deep><er><est/></er></deep></item><item/>",
    };
    QTemporaryDir folder;
    // A parsed shell prints on the calling thread; a made one (no name dictionary) on its own.
    const auto madeShell = [] {
        auto shell = XmlDocument::create(u"list"_s);
        xmlNsPtr xsi = xmlNewNs(shell->rootElement(), BAD_CAST "http://www.w3.org/2001/XMLSchema-instance",
                                BAD_CAST "xsi");
        xmlNewNsProp(shell->rootElement(), xsi, BAD_CAST "at", BAD_CAST "s");
        return shell;
    };
    for (const bool made : {false, true})
        for (const QByteArray& inner : children) {
            const QByteArray root =
                "<list xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:at=\"s\">";
            auto whole = parseOrFail(root + inner + "</list>", XmlDocument::BlankNodes::Remove);
            auto shell = made ? madeShell() : parseOrFail(root + "</list>");
            const QString path = folder.filePath(u"streamed.xml"_s);
            platform::AtomicFileWriter file;
            ASSERT_TRUE(file.open(path));
            platform::XmlPrettyStreamWriter writer(*shell, file);
            for (xmlNodePtr child = whole->rootElement()->children; child; child = child->next) {
                xmlNodePtr copy = xmlDocCopyNode(child, shell->document(), 1);
                xmlAddChild(shell->rootElement(), copy);
                writer.writeChild(copy);
            }
            writer.finish();
            ASSERT_TRUE(file.commit());
            EXPECT_EQ(testing_support::readFile(path), whole->toPrettyBytes()) << inner.toStdString();
            EXPECT_EQ(shell->rootElement()->children, nullptr);
        }
}

// Writing replaces the file whole; a write that fails, at the start or half way (the file size
// limit, as a full disk would), leaves the previous file whole and no temporary file behind.
TEST(XmlWriteTest, WritingReplacesTheFileOrLeavesItAsItWas) {
    QTemporaryDir folder;
    auto document = XmlDocument::create(u"new"_s);
    for (int i = 0; i < 50; ++i)
        XmlDocument::addElement(document->rootElement(), u"row"_s, QString::number(i));
    ASSERT_GT(document->toPrettyBytes().size(), 256);
    const QString replaced = folder.filePath(u"replaced.xml"_s);
    const QString taken = folder.filePath(u"taken"_s);
    const QString locked = folder.filePath(u"locked/list.xml"_s);
    const QString list = folder.filePath(u"list.xml"_s);
    for (const QString& path : {replaced, locked, list})
        ASSERT_TRUE(testing_support::writeFile(path, "<old/>"));
    ASSERT_TRUE(QDir().mkdir(taken));
    ASSERT_TRUE(document->writePretty(replaced));
    EXPECT_EQ(testing_support::readFile(replaced), document->toPrettyBytes());

    const auto expectFailure = [&](const QString& path) {
        Error error;
        EXPECT_FALSE(document->writePretty(path, &error)) << path.toStdString();
        EXPECT_EQ(error.domain, Error::FileDomain) << path.toStdString();
        EXPECT_TRUE(error.localizedDescription().contains(path)) << path.toStdString();
    };
    expectFailure(taken);
    expectFailure(folder.filePath(u"no/such/folder/list.xml"_s));
    const QString lockedFolder = QFileInfo(locked).path();
    QFile::setPermissions(lockedFolder, QFile::ReadOwner | QFile::ExeOwner);
    if (::access(lockedFolder.toLocal8Bit().constData(), W_OK) != 0) // not for root
        expectFailure(locked);
    QFile::setPermissions(lockedFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    expectFailure(list);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(testing_support::readFile(list), QByteArray("<old/>"));
    EXPECT_EQ(testing_support::readFile(locked), QByteArray("<old/>"));
    const auto entries = [](const QString& path) {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join(u' ');
    };
    EXPECT_EQ(entries(folder.path()), u"list.xml locked replaced.xml taken"_s);
    EXPECT_EQ(entries(lockedFolder), u"list.xml"_s);
    EXPECT_EQ(entries(taken), QString());
}
