#include "app/AppTestEnvironment.h"
#include "app/FeedFreshness.h"
#include "app/FeedInventory.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"
#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <nlohmann/json.hpp>

namespace {

using Reply = testing_support::LoopbackHttpServer::Reply;
using platform::JsonValue;

const QByteArray ObservationXml = R"(<?xml version="1.0"?>
<current_observation version="1.0">
  <location>Las Vegas, NV</location>
  <temp_f>72.4</temp_f>
  <wind speed="5"><dir>NW</dir></wind>
  <station>  <id>KLAS</id> <name>McCarran</name>  </station>
</current_observation>)";

class FeedEvaluation : public AppTestEnvironment {
  protected:
    using Values = std::vector<std::optional<JsonValue>>;
    struct Binding {
        QByteArray path;
        int valueType;
    };

    std::unique_ptr<GraflinkDocument> documentFor(const QByteArray& path,
                                                  const std::vector<Binding>& bindings) {
        auto document = makeDocument();
        QList<QVariantMap> variables;
        for (const Binding& binding : bindings)
            variables.append(
                {{u"XPath"_s, QString::fromUtf8(binding.path)}, {u"valueType"_s, binding.valueType}});
        document->loadVariablesFromDictionaries(variables);
        EXPECT_TRUE(pointAt(*document, QString::fromUtf8(path)));
        return document;
    }
    /// Every variable's value, in list order.
    static Values values(const GraflinkDocument& document) {
        Values all;
        for (const GraflinkVariable* variable : document.variables().variables())
            all.push_back(variable->currentStringValue());
        return all;
    }
};

// RSS, and a type that names both JSON and XML, are taken as XML: XML is tested first.
TEST_F(FeedEvaluation, EvaluatesEveryVariableAgainstAnXmlFeed) {
    server->serve("/both", Reply::text("<x>both</x>", "application/json+xml"));
    EXPECT_EQ(valueOf(*documentFor("/both", {{"x", 0}}), 0), text("both"));
    server->serve("/obs.xml", Reply::text(ObservationXml, "application/rss+xml; charset=utf-8"));
    auto document = documentFor("/obs.xml", {{"current_observation/temp_f", 2},
                                             {"current_observation/location", 0},
                                             {"/current_observation/wind/@speed", 1},
                                             {"current_observation/station", 0},
                                             {"current_observation/missing", 0},
                                             {"current_observation/[broken", 0},
                                             {"count(//dir)", 0}});
    // An element's value is the string value of all its descendants; a path that selects nothing,
    // does not parse or gives no node set changes nothing.
    EXPECT_EQ(values(*document),
              (Values{text("Temp 72\u00B0 F"), text("Las Vegas, NV"), text("5"), text("  KLAS McCarran  "),
                      std::nullopt, std::nullopt, std::nullopt}));
}

// Each inventory path, as a variable, takes the value of the first element listed under it.
TEST_F(FeedEvaluation, EveryInventoryPathOfANamespacedFeedTakesItsElementsValue) {
    const QByteArray feeds[] = {
        "<feed xmlns='http://www.w3.org/2005/Atom' xmlns:media='http://search.yahoo.com/mrss/'>"
        "<title>Clips</title><entry><title>One</title><media:thumbnail "
        "url='u1'><media:credit>C1</media:credit>"
        "</media:thumbnail></entry><entry><title>Two</title><media:group><media:title>G</media:title>"
        "</media:group><content type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'><p>Body</p></div>"
        "</content></entry></feed>",
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns='http://purl.org/rss/1.0/' "
        "xmlns:dc='http://purl.org/dc/elements/1.1/'><channel><title>Wire</title></channel>"
        "<item><title>A</title><dc:date>2024-01-01</dc:date></item><item><title>B</title>"
        "<x:tag xmlns:x='urn:x'>t</x:tag><plain xmlns=''>p</plain></item></rdf:RDF>",
    };
    for (const QByteArray& xml : feeds) {
        const auto parsed = platform::XmlDocument::parse(xml);
        ASSERT_TRUE(parsed);
        const QStringList paths = FeedInventory::ofXml(*parsed);
        std::vector<xmlNodePtr> order;
        const std::function<void(xmlNodePtr)> collect = [&](xmlNodePtr element) {
            for (xmlNodePtr child = element->children; child; child = child->next) {
                if (child->type == XML_ELEMENT_NODE) {
                    order.push_back(child);
                    collect(child);
                }
            }
        };
        collect(parsed->rootElement());
        // The inventory lists elements in the same order: the first element listed under a path.
        ASSERT_EQ(std::size_t(paths.size()), order.size()) << xml.constData();
        std::vector<Binding> bindings;
        Values expected;
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (paths.indexOf(paths.at(i)) < i)
                continue; // not the first listed under its path
            bindings.push_back({paths.at(i).toUtf8(), 0});
            expected.push_back(
                JsonValue(platform::XPathEvaluator::stringValue(order[std::size_t(i)]).toStdString()));
        }
        EXPECT_TRUE(paths.contains(u"feed/entry/media:thumbnail"_s) ||
                    paths.contains(u"rdf:RDF/item/dc:date"_s));

        server->serve("/ns.xml", Reply::text(xml, "application/xml"));
        EXPECT_EQ(values(*documentFor("/ns.xml", bindings)), expected);
    }
}

// An XML value whose path stops matching keeps its value; a JSON text whose path disappears is cleared.
TEST_F(FeedEvaluation, AVanishedPathKeepsXmlValuesAndClearsJsonText) {
    server->serve("/obs.xml", Reply::text("<r><a>first</a><n>abc</n></r>", "application/xml"));
    auto document = documentFor("/obs.xml", {{"r/a", 0}, {"r/n", 2}});
    EXPECT_EQ(valueOf(*document, 0), text("first"));
    EXPECT_EQ(valueOf(*document, 1), text("Temp 0\u00B0 F")) << "text without a leading number reads as 0";
    server->serve("/obs.xml", Reply::text("<r><b>other</b></r>", "application/xml"));
    refreshAndWait(*document);
    EXPECT_EQ(valueOf(*document, 0), text("first"));

    server->serve("/feed.json", Reply::text(R"({"title":"Breaking"})", "application/json"));
    auto json = documentFor("/feed.json", {{"title", 0}});
    EXPECT_EQ(valueOf(*json, 0), text("Breaking"));
    server->serve("/feed.json", Reply::text(R"({"other":1})", "application/json"));
    refreshAndWait(*json);
    EXPECT_FALSE(valueOf(*json, 0));
}

TEST_F(FeedEvaluation, ChangesNothingForUnusableResponses) {
    struct Case {
        const char* path;
        Reply reply;
        QString expectedLogLine;
    };
    Reply slow = Reply::text("<r/>", "text/xml");
    slow.delay = std::chrono::milliseconds(4000);
    const Case cases[] = {
        {"/plain", Reply::text(ObservationXml, "text/plain"), u"Unknown response type: text/plain"_s},
        {"/missing", Reply::text("<r/>", "text/xml", 404), u"URL Session Task Succeeded: HTTP 404"_s},
        {"/empty", Reply::text("", "text/xml"), u"URL Session Task Succeeded: HTTP 200"_s},
        {"/malformed", Reply::text("<current_observation><temp_f>1</current_observation>", "text/xml"),
         u"URL Session Task Succeeded: HTTP 200"_s},
        {"/scalar", Reply::text("42", "application/json"), u"URL Session Task Succeeded: HTTP 200"_s},
        {"/untyped", Reply{.body = "{}"}, u"Unknown response type: (null)"_s},
        {"/slow", slow, u"URL Session Task Failed: The request timed out."_s},
    };
    for (const Case& c : cases) {
        server->serve(c.path, c.reply);
        auto document = makeDocument();
        document->loadVariablesFromDictionaries({{{u"XPath"_s, u"current_observation/temp_f"_s}}});
        document->variables().variables().first()->setCurrentStringValue(text("before"));
        ASSERT_TRUE(pointAt(*document, QString::fromUtf8(c.path)));
        EXPECT_EQ(valueOf(*document, 0), text("before")) << c.path;
        EXPECT_EQ(document->lastRefreshDelivered(), false) << c.path;
        EXPECT_TRUE(logContains(c.expectedLogLine))
            << c.path << ": " << logLines().join(QLatin1Char('|')).toStdString();
    }
}

TEST_F(FeedEvaluation, ReportsAnUnusableAddressAsAFailedFetch) {
    auto document = makeDocument();
    QSignalSpy finished(document.get(), &GraflinkDocument::refreshFinished);
    document->setSourceURLString(u"not a url"_s);
    document->setSourceURLString(std::nullopt);
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished.count() == 2; }));
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    EXPECT_TRUE(logContains(QStringLiteral(
        "URL Session Task Failed: The feed address “not a url” is not a valid http or https URL.")));
    EXPECT_TRUE(logContains(u"URL Session Task Failed: The document has no feed address."_s));
    EXPECT_EQ(server->requestCount(), 0);
}

// A slow older response must not overwrite the values of a newer one.
TEST_F(FeedEvaluation, DropsAResponseOlderThanOneAlreadyProcessed) {
    std::atomic<int> calls{0};
    server->route("/feed", [&](const testing_support::LoopbackHttpServer::Request&) {
        Reply reply = Reply::text(calls++ == 0 ? "<r><v>old</v></r>" : "<r><v>new</v></r>", "text/xml");
        if (calls == 1)
            reply.delay = std::chrono::milliseconds(300);
        return reply;
    });
    auto document = makeDocument();
    document->loadVariablesFromDictionaries({{{u"XPath"_s, u"r/v"_s}, {u"valueType"_s, 0}}});
    document->setSourceURLString(server->url(u"/feed"_s).toString()); // slow, old
    ASSERT_TRUE(testing_support::waitUntil([&] { return server->requestCount() == 1; }));
    document->refresh(); // fast, new
    ASSERT_TRUE(waitForRefreshes(*document));
    EXPECT_EQ(valueOf(*document, 0), text("new"));
    EXPECT_EQ(document->processedRefreshCount(), 1u);
    EXPECT_TRUE(logContains(u"Ignoring a stale feed response (fetch 1; fetch 2 was already processed)"_s));
}

TEST_F(FeedEvaluation, EvaluatesJsonByKeyPath) {
    server->serve(
        "/feed.json",
        Reply::text(R"({"a":{"b":[{"c":1},{"c":2}]},"s":"12.5","flag":true,"n":null,"obj":{"k":[1]}})",
                    "application/json"));
    auto document = documentFor("/feed.json", {{"a/b/1/c", 0},
                                               {"s", 2},
                                               {"a/b/0/c", 2},
                                               {"gone", 2},
                                               {"obj", 2},
                                               {"flag", 0},
                                               {"n", 3},
                                               {"obj", 1}});
    // A number is kept as found, a string goes by its numeric reading (half-even); a number
    // variable whose path leads nowhere or to an object is empty; null is the null marker.
    EXPECT_EQ(values(*document),
              (Values{JsonValue(2), text("Temp 12\u00B0 F"), text("Temp 1\u00B0 F"), text(""), text(""),
                      JsonValue(true), JsonValue(nullptr), JsonValue::parse(R"({"k":[1]})")}));
}

// A query finds its value by what the feed says, not by where: reordering the array keeps it.
TEST_F(FeedEvaluation, EvaluatesJsonPathQueriesWhereverTheFeedPutsTheValue) {
    server->serve("/feed.json", Reply::text(R"({"races":[{"id":"R1","votes":10},{"id":"R2","votes":2500}]})",
                                            "application/json"));
    auto document = documentFor("/feed.json", {{"$.races[?@.id == 'R2'].votes", 0},
                                               {"races/1/votes", 0},
                                               {"$.races[?@.votes > 5].id", 0},
                                               {"$.races[?@.id == 'R9'].votes", 0},
                                               {"$.races[", 0}});
    // The first node selected; nothing from a query that selects nothing or does not parse.
    EXPECT_EQ(values(*document),
              (Values{JsonValue(2500), JsonValue(2500), text("R1"), std::nullopt, std::nullopt}));
    server->serve("/feed.json", Reply::text(R"({"races":[{"id":"R2","votes":2600},{"id":"R1","votes":11}]})",
                                            "application/json"));
    refreshAndWait(*document);
    EXPECT_EQ(values(*document),
              (Values{JsonValue(2600), JsonValue(11), text("R2"), std::nullopt, std::nullopt}))
        << "the key path stays on the position";
}

TEST_F(FeedEvaluation, SkipsVariablesWithoutAPath) {
    server->serve("/feed.json", Reply::text(R"({"":"empty key"})", "application/json"));
    auto document = makeDocument();
    document->loadVariablesFromDictionaries({{{u"XPath"_s, QString()}, {u"valueType"_s, 0}}});
    document->variables().variables().first()->setXPath(std::nullopt);
    document->variables().variables().first()->setCurrentStringValue(text("kept"));
    ASSERT_TRUE(pointAt(*document, u"/feed.json"_s));
    EXPECT_EQ(valueOf(*document, 0), text("kept"));
}

TEST_F(FeedEvaluation, InventoriesTheFeedWithoutTouchingValues) {
    server->serve("/r.xml", Reply::text("<r><x/><x><y/></x></r>", "text/xml"));
    auto document = documentFor("/r.xml", {{"r/x", 0}});
    QSignalSpy changed(document.get(), &GraflinkDocument::inventoriedElementsChanged);
    QSignalSpy finished(document.get(), &GraflinkDocument::pathsFinished);
    document->getPaths();
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(document->inventoriedElements(), QStringList({u"r/x"_s, u"r/x"_s, u"r/x/y"_s}));
    EXPECT_EQ(changed.count(), 1);

    // A failed inventory fetch keeps the last inventory.
    server->serve("/r.xml", Reply::text("", "text/xml", 500));
    document->getPaths();
    ASSERT_TRUE(testing_support::waitUntil([&] { return finished.count() == 2; }));
    EXPECT_EQ(document->inventoriedElements().size(), 3);
}

// A feed that goes down raises one alarm however many refreshes fail, and one recovery line.
TEST_F(FeedEvaluation, AFeedThatGoesDownRaisesOneAlarmAndOneRecovery) {
    server->serve("/obs.xml", Reply::text("<r><a>up</a></r>", "application/xml"));
    auto document = documentFor("/obs.xml", {{"r/a", 0}});
    document->setStaleAfterSeconds(0.3);
    ASSERT_TRUE(document->freshness().secondsSinceLastSuccess().has_value());
    EXPECT_EQ(document->variables().variables().first()->valueAgeSeconds(), 0);
    const auto count = [&](const char* text) { return logLines().filter(QString::fromUtf8(text)).size(); };
    server->serve("/obs.xml", Reply::text("down", "text/plain", 503));
    for (int i = 0; i < 6; ++i) {
        refreshAndWait(*document);
        testing_support::spinFor(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(document->freshness().isStale());
    EXPECT_EQ(count("Stale data: the feed of"), 1);
    server->serve("/obs.xml", Reply::text("<r><a>up</a></r>", "application/xml"));
    refreshAndWait(*document);
    refreshAndWait(*document);
    EXPECT_FALSE(document->freshness().isStale());
    EXPECT_EQ(count("Recovered: the feed of"), 1);
    EXPECT_EQ(count("Stale data: the feed of"), 1);
}

} // namespace
