#include "cglink/CGServerHTTPController.h"

#include "appbase/NVSLogController.h"
#include "cglink/NVSAuthenticatedURLSessionController.h"
#include "cgsim/CGServerSimulator.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;
using platform::JsonValue;
using testing_support::LoopbackHttpServer;
using testing_support::spinFor;
using testing_support::waitUntil;
using Reply = LoopbackHttpServer::Reply;

Reply json(const char* body) {
    return Reply::text(body, "application/json");
}

/// A technical log of the test's own, in a folder whose files the test reads.
class CapturedLog {
  public:
    CapturedLog() {
        defaults.setValue(NVSLogController::TechnicalLogFolderPathKey, folder.path());
        logger = std::make_unique<NVSLogController>(
            NVSLogController::Configuration{&defaults, u"Graflink"_s, nullptr, {}});
        logger->setLogDelegate(&delegate); // without one the logger only holds its messages
    }
    /// The log files of the folder named by `files` (all, side files too), once the queued lines
    /// are written.
    QString written(const QString& files = u"*.log"_s) const {
        logger->waitUntilIdle();
        QString text;
        for (const QString& name : QDir(folder.path()).entryList({files}))
            text += QString::fromUtf8(testing_support::readFile(folder.filePath(name)));
        return text;
    }
    QTemporaryDir folder;
    platform::UserDefaults defaults{folder.filePath(u"defaults.conf"_s)};
    NVSLogControllerDelegate delegate;
    std::unique_ptr<NVSLogController> logger;
};

class CGClient : public ::testing::Test {
  protected:
    CGServerHTTPController::Options options(double requestTimeout = 2.0) {
        CGServerHTTPController::Options o;
        o.requestTimeout = requestTimeout;
        o.authorizationTimeout = 2.0;
        o.reconnectDelay = 50ms;
        o.logger = log.logger.get();
        o.notificationCenter = &notifications;
        return o;
    }
    /// A client whose first project listing is done and announced.
    std::unique_ptr<CGServerHTTPController> connectTo(quint16 port, qint32 type,
                                                      const QString& password = QString()) {
        auto client =
            std::make_unique<CGServerHTTPController>(u"127.0.0.1"_s, port, type, password, options());
        client->waitUntilIdle();
        QCoreApplication::sendPostedEvents(client.get(), QEvent::MetaCall);
        return client;
    }
    CapturedLog log;
    platform::NotificationCenter notifications;
};

// MARK: - Against the simulator

class CGClientWithSimulator : public CGClient, public ::testing::WithParamInterface<qint32> {
  protected:
    void startSimulator(const QString& password = QString()) {
        CGServerSimulator::Options o;
        o.serverType = GetParam();
        o.password = password;
        simulator = std::make_unique<CGServerSimulator>(o);
        ASSERT_TRUE(simulator->start());
    }
    std::unique_ptr<CGServerSimulator> simulator;
};

// Opening the socket fetches the list again, and so does the server's announcement of a change.
// A socket closed with any code is opened again.
TEST_P(CGClientWithSimulator, FetchesProjectsConnectsRefetchesAndReconnects) {
    startSimulator();
    int itemNotices = 0;
    platform::NotificationObservation observation(
        notifications, CGServerHTTPController::CGProjectItemsDidChangeNotification, nullptr,
        [&](const platform::Notification&) { ++itemNotices; });
    auto client = connectTo(simulator->port(), GetParam());
    ASSERT_EQ(client->projects().size(), 3);
    EXPECT_EQ(itemNotices, 3);
    const auto scoreboard = client->projectWithName(u"Scoreboard"_s);
    ASSERT_NE(scoreboard, nullptr);
    EXPECT_EQ(scoreboard->items().size(), 5);
    EXPECT_EQ(scoreboard->CGServerType(), GetParam());
    EXPECT_EQ(client->projectWithName(u"scoreboard"_s), nullptr);
    QSignalSpy projectsChanged(client.get(), &CGServerHTTPController::projectsChanged);
    ASSERT_TRUE(waitUntil([&] { return client->isConnected() && simulator->webSocketClientCount() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return projectsChanged.size() == 1; }));

    simulator->setProjects({{u"Election"_s, u"PRJ-ELECT"_s, {}}});
    ASSERT_TRUE(waitUntil([&] { return client->projectWithName(u"Election"_s) != nullptr; }));
    EXPECT_EQ(client->projects().size(), 1);
    EXPECT_TRUE(log.written().contains(u"Received notification that CG Projects did change"_s));

    for (int code : {1000, 1001, 4000}) {
        QSignalSpy connection(client.get(), &CGServerHTTPController::isConnectedChanged);
        simulator->closeWebSocketClients(code);
        ASSERT_TRUE(waitUntil([&] { return connection.size() == 2; })) << code;
        EXPECT_EQ(connection.at(0).first().toBool(), false);
        EXPECT_EQ(connection.at(1).first().toBool(), true);
    }
    client->closeWebSockets();
    EXPECT_FALSE(client->isConnected());
}

// A wrong password sends nothing and logs nothing.
TEST_P(CGClientWithSimulator, WritesTextHtmlAndMediaWithFreshTokens) {
    startSimulator(u"secret"_s);
    auto guessing = connectTo(simulator->port(), GetParam(), u"guess"_s);
    const auto guessed = guessing->projectWithName(u"Scoreboard"_s);
    ASSERT_NE(guessed, nullptr);
    guessing->setStringValue(u"Lions"_s, u"ITM-HOME"_s, guessed, false);
    guessing->waitUntilIdle();
    EXPECT_TRUE(simulator->acceptedUpdates().isEmpty());
    EXPECT_FALSE(log.written().contains(u"CG Text Item"_s));
    guessing->closeWebSockets();

    auto client = connectTo(simulator->port(), GetParam(), u"secret"_s);
    const auto scoreboard = client->projectWithName(u"Scoreboard"_s);
    const auto lower = client->projectWithName(u"Lower Third"_s);
    ASSERT_TRUE(scoreboard && lower);
    client->setStringValue(u"Lions"_s, scoreboard->itemWithName(u"Home"_s)->uniqueID().value(), scoreboard,
                           false);
    client->waitUntilIdle();
    const auto firstToken = client->authorizationToken();
    client->setStringValue(JsonValue(3), scoreboard->itemWithName(u"HomeScore"_s)->uniqueID().value(),
                           scoreboard, false);
    client->setStringValue(u"<b>News</b>"_s, u"ITM-HEAD"_s, lower, true);
    client->setCGMovieItemPath(u"/clips/a.mov"_s, u"ITM-BACK"_s, lower);
    client->waitUntilIdle();
    EXPECT_NE(client->authorizationToken(), firstToken);

    const auto accepted = simulator->acceptedUpdates();
    ASSERT_EQ(accepted.size(), 4);
    EXPECT_EQ(accepted.at(0).jsonLine(),
              QByteArray(R"({"project":"Scoreboard","item":"Home","text":"Lions"})"));
    EXPECT_EQ(accepted.at(1).jsonLine(),
              QByteArray(R"({"project":"Scoreboard","item":"HomeScore","text":3})"));
    EXPECT_EQ(accepted.at(2).update.key, u"htmlText"_s);
    EXPECT_EQ(accepted.at(3).update.key, GetParam() == 2 ? u"movie_path"_s : u"moviePath"_s);
    const QString written = log.written();
    EXPECT_TRUE(written.contains(u"Successfully updated the CG Text Item: Lions"_s));
    EXPECT_TRUE(written.contains(u"Successfully updated the CG Text Item: 3"_s));
    EXPECT_TRUE(written.contains(u"Successfully updated the CG Movie Item: /clips/a.mov"_s));
    client->closeWebSockets();
}

TEST_P(CGClientWithSimulator, RecordsSocketLinesInASideFileWhenAsked) {
    startSimulator();
    CGServerHTTPController::Options o = options();
    o.webSocketLogFileName = u"WebSockets"_s;
    auto client =
        std::make_unique<CGServerHTTPController>(u"127.0.0.1"_s, simulator->port(), GetParam(), QString(), o);
    ASSERT_TRUE(waitUntil([&] { return client->isConnected(); }));
    client->closeWebSockets();
    const QString path = GetParam() == 2 ? u"/playback/cg_projects"_s : u"/update"_s;
    const QString sideFile = u"*_WebSockets.log"_s;
    ASSERT_TRUE(waitUntil([&] { return log.written(sideFile).contains(u"WS Connection did CLOSE"_s); }));
    EXPECT_TRUE(log.written(sideFile).contains(u"WS Connection did OPEN (%1:v1.1.CGUpdates)"_s.arg(path)));
}

INSTANTIATE_TEST_SUITE_P(Generations, CGClientWithSimulator, ::testing::Values(1, 2));

// MARK: - Against misbehaving servers

class CGClientFaults : public CGClient {
  protected:
    void SetUp() override {
        server.serve("/projects", json(R"([{"displayName":"Scores","uniqueID":"P1X"}])"));
        server.serve("/projects/P1X/items",
                     json(R"([{"displayName":"Home","uniqueID":"I1X","type":"text"}])"));
        server.serve("/projects/P1X/items/I1X", json(R"({"success":true})"));
        server.serve("/unlock", json(R"({"success":true,"token":"T0K"})"));
    }
    /// The requests of the HTTP API, without the notification socket's (refused) upgrade attempts.
    QList<LoopbackHttpServer::Request> apiRequests() {
        QList<LoopbackHttpServer::Request> matching;
        for (const auto& request : server.requests())
            if (!request.header("Upgrade"))
                matching.append(request);
        return matching;
    }
    LoopbackHttpServer server;
};

// Without a password a text update is one PUT of JSON. The server's refusal is logged with its
// reason, and a project list that is an object empties the list.
TEST_F(CGClientFaults, TextUpdateIsOnePutOfJsonAndTheServersAnswersAreHeeded) {
    auto client = connectTo(server.port(), 1);
    const auto project = client->projectWithName(u"Scores"_s);
    ASSERT_NE(project, nullptr);
    server.clearRequests();
    client->setStringValue(u"Lions"_s, u"I1X"_s, project, false);
    client->waitUntilIdle();
    ASSERT_EQ(apiRequests().size(), 1);
    const auto put = apiRequests().first();
    EXPECT_EQ(put.method, QByteArray("PUT"));
    EXPECT_EQ(put.path, QByteArray("/projects/P1X/items/I1X"));
    EXPECT_TRUE(put.query.isEmpty());
    EXPECT_EQ(put.header("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(put.header("Cookie"), std::nullopt);
    EXPECT_TRUE(put.body.contains('\n'));
    EXPECT_EQ(*platform::parseJson(put.body), (JsonValue{{"text", "Lions"}}));

    server.serve("/projects/P1X/items/I1X", json(R"({"success":false,"error":"Item locked"})"));
    client->setStringValue(u"Tigers"_s, u"I1X"_s, project, false);
    client->waitUntilIdle();
    EXPECT_TRUE(log.written().contains(u"Error updating the CG Text Item (Item locked)"_s));

    QSignalSpy changed(client.get(), &CGServerHTTPController::projectsChanged);
    server.serve("/projects", json(R"({"displayName":"Scores","uniqueID":"P1X"})"));
    client->updateProjects();
    client->waitUntilIdle();
    EXPECT_TRUE(client->projects().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return changed.size() == 1; }));
}

// A pass asks for a token before each of its updates; a refused authorization drops that update
// quietly and the pass goes on, and the pass still ends.
TEST_F(CGClientFaults, APassWhoseAuthorizationIsRefusedSendsNothingAndEnds) {
    server.serve("/unlock", json(R"({"success":false})"));
    auto client = connectTo(server.port(), 1, u"pw"_s);
    server.clearRequests();
    QSignalSpy finished(client.get(), &CGServerHTTPController::publishingPassFinished);
    client->publish(
        {{u"Scores"_s, u"Home"_s, JsonValue("a"), false}, {u"Scores"_s, u"Home"_s, JsonValue("b"), false}});
    client->waitUntilIdle();
    QStringList sent;
    for (const auto& request : apiRequests())
        sent.append(QString::fromUtf8(request.method + ' ' + request.path + '?' + request.query));
    EXPECT_EQ(sent, QStringList({u"GET /unlock?password=pw"_s, u"GET /unlock?password=pw"_s}));
    EXPECT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    EXPECT_EQ(client->updatesAccepted() + client->updatesFailed(), 0u);
}

TEST_F(CGClientFaults, MediaUpdateAuthorizesEvenWithoutPasswordAndSendsNoContentType) {
    auto client = connectTo(server.port(), 2);
    server.serve("/playback/cg_projects/P1X/items/I1X", json(R"({"success":false,"error":"Item locked"})"));
    auto project = std::make_shared<CGProject>();
    project->setUniqueID(u"P1X"_s);
    server.clearRequests();
    client->setCGMovieItemPath(u"/a.mov"_s, u"I1X"_s, project);
    client->waitUntilIdle();
    ASSERT_EQ(apiRequests().size(), 2);
    EXPECT_EQ(apiRequests().at(0).path, QByteArray("/unlock"));
    EXPECT_EQ(apiRequests().at(0).query, QByteArray("password="));
    const auto put = apiRequests().at(1);
    EXPECT_EQ(put.query, QByteArray("token=T0K"));
    EXPECT_FALSE(put.header("Content-Type"));
    EXPECT_EQ(*platform::parseJson(put.body), (JsonValue{{"movie_path", "/a.mov"}}));
    EXPECT_TRUE(log.written().contains(u"Error updating the CG Movie Item (Item locked)"_s));
}

TEST_F(CGClientFaults, IdentifiersShorterThanTwoCharactersSendNothing) {
    auto client = connectTo(server.port(), 1);
    auto shortProject = std::make_shared<CGProject>();
    shortProject->setUniqueID(u"P"_s);
    server.clearRequests();
    int notices = 0;
    platform::NotificationObservation observation(notifications,
                                                  CGServerHTTPController::CGProjectItemsDidChangeNotification,
                                                  nullptr, [&](const platform::Notification&) { ++notices; });
    client->updateItemsForProject(shortProject);
    client->setStringValue(u"x"_s, u"I1X"_s, shortProject, false);
    client->setStringValue(u"x"_s, u"I"_s, client->projectWithName(u"Scores"_s), false);
    client->waitUntilIdle();
    EXPECT_EQ(apiRequests().size(), 0);
    spinFor(50ms);
    EXPECT_EQ(notices, 0);
    shortProject->setUniqueID(u"PX"_s);
    client->updateItemsForProject(shortProject);
    client->waitUntilIdle();
    EXPECT_EQ(apiRequests().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return notices == 1; })); // posted even though nothing was listed
}

// A silent server once held the caller (the main thread) for every request's time-out.
TEST_F(CGClientFaults, ASilentServerHoldsNeitherTheCallerNorTheOwnersTeardown) {
    server.serve("/projects", Reply::hang());
    bool posted = false;
    platform::MainQueue::dispatchAsync([&] { posted = true; });
    {
        // The test's own time limit fails it if anything waits for the requests' time-out.
        CGServerHTTPController hanging(u"127.0.0.1"_s, server.port(), 1, QString(), options(600));
        EXPECT_FALSE(posted) << "the client ran the event loop";
        auto project = std::make_shared<CGProject>();
        project->setUniqueID(u"P1X"_s);
        for (int i = 0; i < 50; ++i)
            hanging.setStringValue(u"x"_s, u"I1X"_s, project, false);
        EXPECT_TRUE(hanging.projects().isEmpty());
        EXPECT_FALSE(hanging.isIdle());
    }
    EXPECT_TRUE(waitUntil([&] { return posted; }));
}

// A pass goes through the shared transfer loop: closing its document must not wait for a server
// that never answers the update under way.
TEST_F(CGClientFaults, TeardownCutsAPassesSilentUpdateShort) {
    server.serve("/projects/P1X/items/I1X", Reply::hang());
    auto client =
        std::make_unique<CGServerHTTPController>(u"127.0.0.1"_s, server.port(), 1, QString(), options(600));
    ASSERT_TRUE(waitUntil([&] { return client->projectWithName(u"Scores"_s) != nullptr; }));
    client->publish({{u"Scores"_s, u"Home"_s, JsonValue("x"), false}});
    ASSERT_TRUE(waitUntil([&] {
        const auto requests = apiRequests();
        return std::any_of(requests.begin(), requests.end(), [](const auto& r) { return r.method == "PUT"; });
    }));
    EXPECT_FALSE(client->isIdle());
    client.reset(); // the test's own time limit fails it if this waits for the update's time-out
}

TEST_F(CGClientFaults, ANewerPassReplacesTheOneWaitingBehindASlowServer) {
    auto client = connectTo(server.port(), 1);
    auto slow = json(R"({"success":true})");
    slow.delay = 300ms;
    server.serve("/projects/P1X/items/I1X", slow);
    server.clearRequests();
    const auto pass = [](const char* value) {
        return CGPublishingPass{{u"Scores"_s, u"Home"_s, JsonValue(value), false}};
    };
    client->publish(pass("first"));
    ASSERT_TRUE(waitUntil([&] { return apiRequests().size() == 1; }));
    for (const char* value : {"second", "third", "newest"})
        client->publish(pass(value));
    client->waitUntilIdle();
    QList<JsonValue> sent;
    for (const auto& request : apiRequests())
        sent.append(*platform::parseJson(request.body));
    EXPECT_EQ(sent, (QList<JsonValue>{JsonValue{{"text", "first"}}, JsonValue{{"text", "newest"}}}));
}

TEST_F(CGClientFaults, OtherServerTypesListAtTheRootAndOpenNoSocket) {
    server.serve("/", json(R"([{"displayName":"Scores","uniqueID":"P1X"}])"));
    server.serve("//P1X/items", json("[]"));
    auto client = connectTo(server.port(), 3);
    EXPECT_EQ(client->projects().size(), 1);
    spinFor(100ms);
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(client->sessionController().openSessions().isEmpty());
}

// MARK: - The notification socket

TEST_F(CGClient, BinaryMessagesFetchNothingAndTextMessagesFetchTheList) {
    LoopbackHttpServer server;
    server.serve("/projects", json("[]"));
    server.acceptWebSockets();
    auto client = connectTo(server.port(), 1);
    // The listing, the upgrade and the listing on opening.
    ASSERT_TRUE(waitUntil([&] { return client->isConnected() && server.requestCount() == 3; }));
    server.sendToWebSockets(QByteArray("\x00\x01", 2), true);
    spinFor(150ms);
    EXPECT_EQ(server.requestCount(), 3);
    server.sendToWebSockets("anything");
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 4; }));
    client->closeWebSockets();
}

// The server answers no listing and refuses every web-socket upgrade.
TEST_F(CGClient, RetriesAServerThatStaysAwayWithoutLimit) {
    LoopbackHttpServer refusing;
    auto client = connectTo(refusing.port(), 2);
    ASSERT_TRUE(waitUntil([&] { return refusing.connectionCount() >= 6; }));
    EXPECT_FALSE(client->isConnected());
    client->closeWebSockets();
    spinFor(100ms);
    const int afterClose = refusing.connectionCount();
    spinFor(300ms);
    EXPECT_EQ(refusing.connectionCount(), afterClose) << "a reconnection ran after closeWebSockets";
}

} // namespace
