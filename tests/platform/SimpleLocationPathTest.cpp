#include "platform/SimpleLocationPath.h"

#include "platform/StreamedLocationPaths.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <gtest/gtest.h>
#include <random>

using namespace Qt::StringLiterals;

namespace {

using platform::SimpleLocationPath;
using platform::StreamedLocationPaths;
using platform::XmlDocument;
using platform::XPathEvaluator;

TEST(SimpleLocationPath, TakesOnlyPlainChildPaths) {
    for (const char* simple :
         {"a", "/a/b", "a/b[3]/c", "*/b[1]", "a/@id", "a/b/text()", "feed/item[500]/votes", "é/ü"})
        EXPECT_TRUE(SimpleLocationPath::parse(QString::fromUtf8(simple))) << simple;
    for (const char* other :
         {"",          "/",          "//a",   "a//b",       "a/../b",   "./a", "a[0]", "a[-1]",
          "a[last()]", "a[@id='1']", "p:a",   "a /b",       "count(a)", "a|b", "@id",  "text()",
          "a/@p:id",   "a[1][2]",    "a[01]", "a/child::b", "a/b/",     "1a",  "a[1"})
        EXPECT_FALSE(SimpleLocationPath::parse(QString::fromUtf8(other))) << other;
}

/// A random feed-like document: few names so that paths hit, namespaces, attributes, text,
/// CDATA, comments and processing instructions so that the node tests are exercised.
QByteArray randomDocument(std::mt19937& random) {
    const char* names[] = {"a", "b", "c"};
    std::uniform_int_distribution<int> pick(0, 2), count(0, 4), kind(0, 9);
    std::function<QByteArray(int)> element = [&](int depth) -> QByteArray {
        const QByteArray name(names[pick(random)]);
        const bool namespaced = kind(random) == 0;
        QByteArray open = (namespaced ? "p:" : "") + name;
        QByteArray xml = "<" + open + (namespaced ? " xmlns:p='urn:p'" : "");
        if (kind(random) < 4)
            xml += " id='" + QByteArray::number(kind(random)) + (kind(random) == 0 ? "&amp;&#38;&lt;'" : "'");
        if (kind(random) == 1)
            xml += " q:id='ns' xmlns:q='urn:q'";
        xml += ">";
        const QByteArray leaves[] = {"text&amp;&#60;", "<![CDATA[cdata]]>", "<!-- comment -->", "<?pi x?>"};
        const int children = depth < 4 ? count(random) : 0;
        for (int i = 0; i < children; ++i) {
            const int k = kind(random);
            xml += k < 4 ? leaves[k] : element(depth + 1);
        }
        return xml + "</" + open + ">";
    };
    return "<?xml version='1.0'?><!-- head -->" + element(0);
}

QString randomPath(std::mt19937& random) {
    const char* steps[] = {"a", "b", "c", "*", "a[1]", "b[2]", "c[3]", "*[2]", "a[4]"};
    std::uniform_int_distribution<int> pick(0, 8), length(1, 4), ending(0, 5);
    QString path = ending(random) == 0 ? u"/"_s : QString();
    const int n = length(random);
    for (int i = 0; i < n; ++i)
        path += (i ? u"/"_s : QString()) + QString::fromLatin1(steps[pick(random)]);
    const QString endings[] = {QString(), u"/@id"_s, u"/text()"_s, QString(), QString(), QString()};
    path += endings[ending(random)];
    return path;
}

/// Every element of the document, in document order.
std::vector<xmlNodePtr> elementsOf(xmlNodePtr node) {
    std::vector<xmlNodePtr> found;
    for (xmlNodePtr child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        found.push_back(child);
        const std::vector<xmlNodePtr> below = elementsOf(child);
        found.insert(found.end(), below.begin(), below.end());
    }
    return found;
}

// The child index must answer exactly as libxml2's own evaluation does, from the document and
// from any element; an absolute path evaluated from an element used to start at that element.
TEST(SimpleLocationPath, SelectsTheSameFirstNodeAsLibxml2) {
    std::mt19937 random(20261206);
    int compared = 0, nonEmpty = 0;
    for (int d = 0; d < 300; ++d) {
        const auto document = XmlDocument::parse(randomDocument(random));
        ASSERT_TRUE(document);
        XPathEvaluator evaluator(*document);
        std::vector<xmlNodePtr> contexts = elementsOf(document->documentNode());
        contexts.push_back(nullptr); // the document node
        std::uniform_int_distribution<std::size_t> pickContext(0, contexts.size() - 1);
        for (int p = 0; p < 40; ++p) {
            const QString path = randomPath(random);
            ASSERT_TRUE(SimpleLocationPath::parse(path)) << path.toStdString();
            for (xmlNodePtr context :
                 {static_cast<xmlNodePtr>(nullptr), document->rootElement(), contexts[pickContext(random)]}) {
                const auto reference = evaluator.nodes(path, context);
                ASSERT_TRUE(reference) << path.toStdString();
                const xmlNodePtr expected = reference->empty() ? nullptr : reference->front();
                EXPECT_EQ(evaluator.firstNode(path, context), expected)
                    << path.toStdString() << " from " << XPathEvaluator::locationPath(context).toStdString();
                ++compared;
                nonEmpty += expected != nullptr;
            }
        }
        // Positions asked one after the other among the same children, up and down: a positional
        // walk goes on from where the last one among those children stopped.
        for (std::size_t c = 0; d < 60 && c < contexts.size(); ++c) {
            for (const int position : {1, 2, 4, 3, 3, 1, 2}) {
                for (const QString& form : {u"a[%1]"_s, u"*[%1]"_s, u"b[%1]/*[%1]"_s}) {
                    const QString path = form.arg(position);
                    const auto reference = evaluator.nodes(path, contexts[c]);
                    ASSERT_TRUE(reference) << path.toStdString();
                    EXPECT_EQ(evaluator.firstNode(path, contexts[c]),
                              reference->empty() ? nullptr : reference->front())
                        << path.toStdString() << " from "
                        << XPathEvaluator::locationPath(contexts[c]).toStdString();
                }
            }
        }
    }
    EXPECT_GT(nonEmpty, compared / 20) << "the random paths must often select something";
}

// The streamed pass must give each path the string value the tree gives it.
TEST(StreamedLocationPaths, GiveTheTreesStringValues) {
    std::mt19937 random(20261208);
    for (int d = 0; d < 300; ++d) {
        const QByteArray xml = randomDocument(random);
        const auto document = XmlDocument::parse(xml);
        ASSERT_TRUE(document);
        XPathEvaluator evaluator(*document);
        evaluator.useDocumentNamespaces();
        QStringList paths;
        for (int p = 0; p < 40; ++p)
            paths.append(randomPath(random));
        const auto streamed = StreamedLocationPaths::make(paths);
        ASSERT_TRUE(streamed);
        const std::optional<StreamedLocationPaths::Values> values = streamed->firstStringValues(xml);
        ASSERT_TRUE(values) << xml.toStdString();
        for (qsizetype p = 0; p < paths.size(); ++p) {
            const std::optional<QString> expected = evaluator.firstNodeStringValue(paths[p]);
            const std::optional<std::string>& value = (*values)[std::size_t(p)];
            EXPECT_EQ(value.has_value(), expected.has_value())
                << paths[p].toStdString() << " in " << xml.toStdString();
            if (value && expected) {
                EXPECT_EQ(QString::fromStdString(*value), *expected)
                    << paths[p].toStdString() << " in " << xml.toStdString();
            }
        }
    }
}

// Where the pass cannot tell, it says so and the tree is built.
TEST(StreamedLocationPaths, LeaveToTheTreeWhatOnlyItCanTell) {
    const struct {
        const char* xml;
        const char* path;
        std::optional<const char*> value; // nullopt: the tree must answer
    } cases[] = {
        {"<r><a><![CDATA[x]]><![CDATA[y]]>z</a></r>", "r/a/text()", "xy"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xe9</r>", "/r", "caf\xc3\xa9"},
        {"<feed xmlns='urn:f'><entry>e</entry></feed>", "*/*", "e"},
        {"<feed xmlns='urn:f'><entry>e</entry></feed>", "feed/entry", std::nullopt},
        {"<!DOCTYPE r [<!ENTITY e 'ent'>]><r>&e;</r>", "r", std::nullopt},
        {"<r><a></r>", "r", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto values =
            StreamedLocationPaths::make({QString::fromUtf8(c.path)})->firstStringValues(QByteArray(c.xml));
        EXPECT_EQ(values.has_value(), c.value.has_value()) << c.xml;
        if (values && c.value) {
            EXPECT_EQ(values->front(), std::optional<std::string>(*c.value)) << c.xml;
        }
    }
    EXPECT_FALSE(StreamedLocationPaths::make({u"a"_s, u"//a"_s}));
}

} // namespace
