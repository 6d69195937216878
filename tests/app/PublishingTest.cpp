#include "app/AppTestEnvironment.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "cgsim/CGServerSimulator.h"
#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <nlohmann/json.hpp>

namespace {

using Reply = testing_support::LoopbackHttpServer::Reply;

/// Feed → document → CG server simulator, the whole road on loopback.
class Publishing : public AppTestEnvironment {
  protected:
    void SetUp() override {
        AppTestEnvironment::SetUp();
        ASSERT_TRUE(simulator.start());
    }

    std::unique_ptr<GraflinkDocument> document(const QList<QVariantMap>& variables) {
        GraflinkDocument::Environment env = environment();
        env.cgClientOptions.reconnectDelay = std::chrono::milliseconds(100);
        auto doc = std::make_unique<GraflinkDocument>(env);
        doc->loadVariablesFromDictionaries(variables);
        doc->setCGServerIPAddress(simulator.host());
        doc->setCGServerPortNumber(simulator.port());
        doc->applyCGServerSettings();
        return doc;
    }

    static QVariantMap binding(const char* path, const char* project, const char* item, int type) {
        return {{u"XPath"_s, QString::fromUtf8(path)},
                {u"CGProjectName"_s, QString::fromUtf8(project)},
                {u"CGProjectFieldName"_s, QString::fromUtf8(item)},
                {u"valueType"_s, type}};
    }

    QStringList received() const {
        QStringList lines;
        for (const auto& update : simulator.acceptedUpdates())
            lines.append(QString::fromUtf8(update.jsonLine()));
        return lines;
    }

    void refreshFrom(GraflinkDocument& doc, const QByteArray& feed, const QByteArray& type = "text/xml") {
        server->serve("/feed", Reply::text(feed, type));
        doc.setSourceURLString(server->url(u"/feed"_s).toString());
        settle(doc);
    }

    /// Waits for the refreshes under way and for the client to have sent what they published.
    void settle(GraflinkDocument& doc) const {
        ASSERT_TRUE(waitForRefreshes(doc));
        if (doc.CGClient())
            doc.CGClient()->waitUntilIdle();
    }

    CGServerSimulator simulator{CGServerSimulator::Options{}};
};

// JSON values that are not text are sent as JSON.
TEST_F(Publishing, SendsEveryBoundValueToItsItemAndSkipsUnknownOnes) {
    auto doc = document(
        {binding("m/home", "Scoreboard", "Home", 0), binding("m/head", "Lower Third", "Headline", 3),
         binding("m/home", "No Such Project", "Home", 0), binding("m/home", "Scoreboard", "No Such Item", 0),
         binding("m/missing", "Scoreboard", "Away", 0), binding("score", "Scoreboard", "HomeScore", 0)});
    doc->setPublishToCG(true);
    refreshFrom(*doc, "<m><home>Harbour</home><head>Big <b>win</b></head></m>");
    EXPECT_EQ(received(),
              QStringList({uR"({"project":"Scoreboard","item":"Home","text":"Harbour"})"_s,
                           uR"({"project":"Lower Third","item":"Headline","htmlText":"Big win"})"_s}));
    simulator.clearAcceptedUpdates();
    refreshFrom(*doc, R"({"score":3})", "application/json");
    EXPECT_EQ(received(), QStringList{uR"({"project":"Scoreboard","item":"HomeScore","text":3})"_s});
}

// Publishing off, nothing goes; on, unchanged values go at every refresh; once the address is
// emptied the client is gone and nothing goes again.
TEST_F(Publishing, SendsNothingWhileOffEverythingAtEachRefreshAndNothingWithoutAnAddress) {
    auto doc = document({binding("m/home", "Scoreboard", "Home", 0)});
    refreshFrom(*doc, "<m><home>A</home></m>");
    EXPECT_TRUE(received().isEmpty());
    ASSERT_TRUE(testing_support::waitUntil([&] { return doc->isConnectedToCG(); }));
    doc->setPublishToCG(true); // refreshes at once
    settle(*doc);
    doc->refresh();
    settle(*doc);
    EXPECT_EQ(received().size(), 2) << "unchanged values are sent at every refresh";

    simulator.clearAcceptedUpdates();
    doc->setCGServerIPAddress(QString());
    doc->applyCGServerSettings();
    EXPECT_FALSE(doc->hasCGClient());
    EXPECT_FALSE(doc->isConnectedToCG());
    refreshFrom(*doc, "<m><home>B</home></m>");
    EXPECT_TRUE(received().isEmpty());
}

TEST_F(Publishing, ClearsBoundFieldsWithoutTheHtmlFlag) {
    auto doc =
        document({binding("m/home", "Scoreboard", "Home", 0), binding("m/head", "Lower Third", "Headline", 3),
                  binding("m/home", "Nowhere", "Home", 0)});
    doc->clearCG();
    doc->CGClient()->waitUntilIdle();
    EXPECT_EQ(received(), QStringList({uR"({"project":"Scoreboard","item":"Home","text":""})"_s,
                                       uR"({"project":"Lower Third","item":"Headline","text":""})"_s}));
}

TEST_F(Publishing, VariablesFollowTheServersProjectList) {
    auto doc = document({binding("m/home", "Scoreboard", "Home", 0)});
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return doc->variables().variables().first()->projectItems().size() == 5; }));
    QSignalSpy projects(doc.get(), &GraflinkDocument::availableCGProjectsChanged);
    QList<CGSimProject> changed = simulator.projects();
    changed[0].items.removeLast();
    simulator.setProjects(changed);
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return doc->variables().variables().first()->projectItems().size() == 4; }));
    EXPECT_GE(projects.count(), 1);
    EXPECT_TRUE(doc->isConnectedToCG());
    EXPECT_EQ(doc->connectionStatusImage(), u"NSStatusAvailable"_s);
}

TEST_F(Publishing, ChangeOnlyPublishingSendsChangesAndFullPassesWhenDue) {
    auto doc =
        document({binding("m/home", "Scoreboard", "Home", 0), binding("m/away", "Scoreboard", "Away", 0),
                  binding("m/head", "Lower Third", "Headline", 0)});
    ASSERT_TRUE(testing_support::waitUntil([&] { return doc->isConnectedToCG(); }));
    doc->setChangeOnlyPublishing(true);
    doc->setFullPublishSeconds(3600);
    doc->setPublishToCG(true);
    const auto sentBy = [&](const QByteArray& feed) {
        simulator.clearAcceptedUpdates();
        refreshFrom(*doc, feed);
        return received().size();
    };
    EXPECT_EQ(sentBy("<m><home>A</home><away>B</away><head>C</head></m>"), 3) << "the first pass is full";
    EXPECT_EQ(sentBy("<m><home>A</home><away>B2</away><head>C</head></m>"), 1);
    EXPECT_EQ(sentBy("<m><home>A</home><away>B2</away><head>C</head></m>"), 0);

    doc->clearCG(); // always sends, and the server then shows empty fields
    doc->CGClient()->waitUntilIdle();
    EXPECT_EQ(received().size(), 3);
    EXPECT_EQ(sentBy("<m><home>A</home><away>B2</away><head>C</head></m>"), 3);

    // A change socket that reconnects (the server may have restarted): the next pass is full.
    simulator.closeWebSocketClients();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !doc->isConnectedToCG(); }));
    ASSERT_TRUE(testing_support::waitUntil([&] { return doc->isConnectedToCG(); }));
    EXPECT_EQ(sentBy("<m><home>A</home><away>B2</away><head>C</head></m>"), 3);

    doc->setFullPublishSeconds(0.001); // the periodic full pass is due at every refresh
    EXPECT_EQ(sentBy("<m><home>A</home><away>B2</away><head>C</head></m>"), 3);
}

TEST_F(Publishing, FallbacksSendWhatTheyPromiseWhenAnElementOrTheFeedGoes) {
    const auto fallback = [](QVariantMap variable, int mode, const char* text) {
        variable.insert(u"fallbackMode"_s, mode);
        variable.insert(u"fallbackText"_s, QString::fromUtf8(text));
        return variable;
    };
    auto doc =
        document({fallback(binding("m/home", "Scoreboard", "Home", 0), GraflinkVariable::KeepOnAir, ""),
                  fallback(binding("m/away", "Scoreboard", "Away", 0), GraflinkVariable::SendEmpty, ""),
                  fallback(binding("m/head", "Lower Third", "Headline", 0),
                           GraflinkVariable::SendFallbackText, "Results soon")});
    doc->setPublishToCG(true);
    refreshFrom(*doc, "<m><home>A</home><away>B</away><head>C</head></m>");
    const QStringList gone{uR"({"project":"Scoreboard","item":"Away","text":""})"_s,
                           uR"({"project":"Lower Third","item":"Headline","text":"Results soon"})"_s};
    simulator.clearAcceptedUpdates();
    refreshFrom(*doc, "<m><other/></m>");
    EXPECT_EQ(received(), QStringList{uR"({"project":"Scoreboard","item":"Home","text":"A"})"_s} + gone)
        << "elements gone from the feed (a kept value is sent again as it was)";

    simulator.clearAcceptedUpdates();
    server->serve("/feed", Reply::text("down", "text/plain", 503));
    doc->refresh();
    settle(*doc);
    EXPECT_EQ(received(), gone) << "the feed failing";
    EXPECT_TRUE(doc->variables().variables().first()->currentStringValue().has_value())
        << "a variable that keeps what is on air keeps its value too";
}

} // namespace
