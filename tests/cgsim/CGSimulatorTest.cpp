#include "cgsim/CGServerSimulator.h"
#include "cgsim/CGSimWire.h"
#include "platform/HttpClient.h"
#include "testkit/TestHelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QWebSocketHandshakeOptions>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;
using platform::JsonValue;
using testing_support::waitUntil;
using testing_support::writeFile;

// The bodies it takes are sent through HTTP below and by the client's tests.
TEST(SimulatorWire, RefusesUpdateBodiesWithoutExactlyOneMemberOfTheGeneration) {
    const std::pair<const char*, qint32> refused[] = {{R"({"movie_path":"/a.mov"})", 1},
                                                      {R"({"moviePath":7})", 1},
                                                      {R"({"text":"a","htmlText":"b"})", 1},
                                                      {R"(["text"])", 1},
                                                      {"not json", 1}};
    for (const auto& [body, type] : refused)
        EXPECT_FALSE(CGSimWire::parseUpdateBody(body, type)) << body;
}

class RunningSimulator : public ::testing::TestWithParam<qint32> {
  protected:
    void start(const QString& password = QString()) {
        CGServerSimulator::Options options;
        options.serverType = GetParam();
        options.password = password;
        simulator = std::make_unique<CGServerSimulator>(options);
        QString error;
        ASSERT_TRUE(simulator->start(&error)) << error.toStdString();
        ASSERT_NE(simulator->port(), 0);
    }
    QString projectsPath() const { return GetParam() == 2 ? u"/playback/cg_projects"_s : u"/projects"_s; }
    QString verb() const { return GetParam() == 2 ? u"/authorization"_s : u"/unlock"_s; }

    platform::http::Response request(const QString& pathAndQuery, const QByteArray& method = "GET",
                                     const QByteArray& body = {}) {
        platform::http::Request r(simulator->httpURL(pathAndQuery), method);
        r.body = body;
        r.requestTimeout = 5;
        return client.perform(r);
    }
    JsonValue json(const platform::http::Response& response) {
        return platform::parseJson(response.body).value_or(JsonValue());
    }
    std::unique_ptr<QWebSocket> connectSocket(const QString& path,
                                              const QStringList& protocols = {u"v1.1.CGUpdates"_s}) {
        auto socket = std::make_unique<QWebSocket>();
        QWebSocketHandshakeOptions options;
        options.setSubprotocols(protocols);
        socket->open(QUrl(u"ws://127.0.0.1:%1%2"_s.arg(simulator->port()).arg(path)), options);
        waitUntil([&] {
            return socket->state() == QAbstractSocket::ConnectedState ||
                   socket->state() == QAbstractSocket::UnconnectedState;
        });
        return socket;
    }

    platform::http::Client client;
    std::unique_ptr<CGServerSimulator> simulator;
};

// Listing projects and items, the HTML and media updates of each generation, a password holding
// URL syntax and a wrong one are checked through the client (CGServerHTTPController tests).
TEST_P(RunningSimulator, AcceptsUpdatesWithAValidTokenAndPrintsThem) {
    start(u"secret"_s);
    QSignalSpy printed(simulator.get(), &CGServerSimulator::updateAccepted);
    const QString item = projectsPath() + u"/PRJ-SCORE/items/ITM-HOME"_s;
    const JsonValue refused = json(request(item, "PUT", R"({"text":"Lions"})"));
    EXPECT_EQ(refused["success"], false);
    EXPECT_EQ(refused["error"], "Invalid token");
    EXPECT_TRUE(simulator->acceptedUpdates().isEmpty());
    EXPECT_EQ(json(request(verb()))["success"], false) << "no password";
    EXPECT_EQ(json(request(u"/unlock?password=secret"_s))["success"], true) << "media, any generation";
    EXPECT_EQ(request(projectsPath() + u"/NOPE/items"_s).statusCode, 404);

    const std::string token = json(request(verb() + u"?password=secret"_s))["token"];
    const auto put = [&](const char* itemPath, const QByteArray& body) {
        return json(request(projectsPath() + QString::fromLatin1(itemPath) + u"?token="_s +
                                QString::fromStdString(token),
                            "PUT", body));
    };
    EXPECT_EQ(put("/PRJ-SCORE/items/ITM-HOME", "{\n  \"text\": \"Lions\"\n}")["success"], true);
    EXPECT_EQ(put("/PRJ-LOWER/items/NOPE", R"({"text":"x"})")["error"], "Item not found");
    EXPECT_EQ(put("/PRJ-SCORE/items/ITM-HOME", R"({"colour":"red"})")["success"], false);

    const auto accepted = simulator->acceptedUpdates();
    ASSERT_EQ(accepted.size(), 1);
    EXPECT_EQ(accepted.at(0).jsonLine(),
              QByteArray(R"({"project":"Scoreboard","item":"Home","text":"Lions"})"));
    ASSERT_TRUE(waitUntil([&] { return printed.size() == 1; }));
    EXPECT_EQ(printed.first().first().toByteArray(), accepted.at(0).jsonLine());
}

TEST_P(RunningSimulator, AcceptsSocketsOnItsPathAndNotifiesThemWhenTheProjectsChange) {
    start();
    EXPECT_NE(connectSocket(u"/elsewhere"_s)->state(), QAbstractSocket::ConnectedState);
    auto socket = connectSocket(GetParam() == 2 ? u"/playback/cg_projects"_s : u"/update"_s);
    ASSERT_EQ(socket->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(socket->subprotocol(), u"v1.1.CGUpdates"_s);
    ASSERT_TRUE(waitUntil([&] { return simulator->webSocketClientCount() == 1; }));
    QSignalSpy messages(socket.get(), &QWebSocket::textMessageReceived);

    const QByteArray replacement =
        R"([{"name":"Election","uniqueID":"PRJ-ELECT","items":[{"name":"Leader","uniqueID":"ITM-LEAD","type":"text"}]}])";
    EXPECT_EQ(json(request(u"/admin/projects"_s, "PUT", replacement))["success"], true);
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));
    EXPECT_FALSE(messages.first().first().toString().isEmpty());
    EXPECT_EQ(json(request(projectsPath())).size(), 1u);
    EXPECT_EQ(json(request(u"/admin/notify"_s, "POST"))["success"], true);
    ASSERT_TRUE(waitUntil([&] { return messages.size() == 2; }));
}

INSTANTIATE_TEST_SUITE_P(Generations, RunningSimulator, ::testing::Values(1, 2));

TEST(SimulatorProjectsFile, ReloadsAndAnnouncesAChangedFile) {
    QTemporaryDir folder;
    const QString path = folder.filePath(u"projects.json"_s);
    ASSERT_TRUE(writeFile(path, R"([{"name":"First","uniqueID":"PRJ-1","items":[]}])"));
    CGServerSimulator::Options options;
    options.projectsFile = path;
    CGServerSimulator simulator(options);
    ASSERT_TRUE(simulator.start());
    EXPECT_EQ(simulator.projects().first().name, u"First"_s);
    QWebSocket socket;
    QSignalSpy messages(&socket, &QWebSocket::textMessageReceived);
    socket.open(QUrl(u"ws://127.0.0.1:%1/update"_s.arg(simulator.port())));
    ASSERT_TRUE(waitUntil([&] { return simulator.webSocketClientCount() == 1; }));

    QSignalSpy diagnostics(&simulator, &CGServerSimulator::diagnostic);
    ASSERT_TRUE(writeFile(path, "[not json"));
    ASSERT_TRUE(waitUntil([&] { return diagnostics.size() >= 1; }));
    EXPECT_EQ(simulator.projects().first().name, u"First"_s); // a bad file changes nothing
    ASSERT_TRUE(writeFile(path, R"([{"name":"Second","uniqueID":"PRJ-2","items":[]}])"));
    ASSERT_TRUE(waitUntil([&] { return messages.size() >= 1; }));
    EXPECT_EQ(simulator.projects().first().name, u"Second"_s);
}

TEST(SimulatorProjectsFile, RefusesToStartOnAnUnreadableFile) {
    CGServerSimulator::Options options;
    options.projectsFile = u"/nonexistent/projects.json"_s;
    CGServerSimulator simulator(options);
    QString error;
    EXPECT_FALSE(simulator.start(&error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
