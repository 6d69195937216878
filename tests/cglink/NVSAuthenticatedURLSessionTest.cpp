#include "cglink/NVSAuthenticatedURLSessionController.h"
#include "cglink/NVSAuthenticatedURLSessionControllerDelegate.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackHttpServer;
using testing_support::spinFor;
using testing_support::waitUntil;

/// A controller that records its log lines, as a specialised controller may.
class RecordingController : public NVSAuthenticatedURLSessionController {
  public:
    bool logSimpleMessage(const QString& message) override {
        std::lock_guard lock(mutex);
        lines.append(message);
        return true;
    }
    QStringList logLines() {
        std::lock_guard lock(mutex);
        return lines;
    }

  private:
    std::mutex mutex;
    QStringList lines;
};

class RecordingDelegate : public NVSAuthenticatedURLSessionControllerDelegate {
  public:
    void webSocketSessionDidOpen(const Session&) override { record(u"open"_s); }
    void webSocketSessionDidClose(const Session&, qint64 code) override { record(u"close %1"_s.arg(code)); }
    void webSocketSessionDidReceiveDataMessage(const Session&, const QByteArray& data) override {
        record(u"data "_s + QString::fromLatin1(data.toHex()));
    }
    void webSocketSessionDidReceiveStringMessage(const Session&, const QString& text) override {
        record(u"text "_s + text);
    }
    void webSocketSessionDidCompleteWithError(const Session&,
                                              const std::optional<platform::Error>& error) override {
        record(error ? u"complete with error"_s : u"complete"_s);
    }
    QStringList events() {
        std::lock_guard lock(mutex);
        return list;
    }
    int endCount() {
        int count = 0;
        for (const QString& event : events())
            count += event.startsWith(u"close"_s) || event.startsWith(u"complete"_s);
        return count;
    }

  private:
    void record(const QString& event) {
        std::lock_guard lock(mutex);
        list.append(event);
    }
    std::mutex mutex;
    QStringList list;
};

class WebSocketSessions : public ::testing::Test {
  protected:
    void open(NVSAuthenticatedURLSession::KeepAliveSettings settings = fastKeepAlive(false)) {
        controller.setKeepAliveSettings(std::move(settings));
        controller.setDelegate(&delegate);
        session = controller.openWebSocketAtURL(socketURL(), {u"v1.1.CGUpdates"_s});
        ASSERT_TRUE(waitUntil([&] { return delegate.events().contains(u"open"_s); }));
    }
    static NVSAuthenticatedURLSession::KeepAliveSettings fastKeepAlive(bool ignoreErrors) {
        NVSAuthenticatedURLSession::KeepAliveSettings settings;
        settings.period = 60ms;
        settings.silenceThreshold = 30ms;
        settings.ignorePingPongErrors = [ignoreErrors] { return ignoreErrors; };
        return settings;
    }
    bool logged(const QString& line) { return controller.logLines().contains(line); }
    QUrl socketURL() const { return QUrl(u"ws://127.0.0.1:%1/update"_s.arg(server.port())); }
    void SetUp() override { server.acceptWebSockets(); }

    LoopbackHttpServer server;
    RecordingDelegate delegate;
    RecordingController controller;
    std::shared_ptr<NVSAuthenticatedURLSession> session;
};

TEST_F(WebSocketSessions, RelayOpenMessagesAndOneEnd) {
    open(fastKeepAlive(false));
    EXPECT_EQ(server.requests().last().header("Sec-WebSocket-Protocol"), QByteArray("v1.1.CGUpdates"));
    EXPECT_TRUE(logged(u"WS Connection did OPEN (/update:v1.1.CGUpdates)"_s));
    EXPECT_TRUE(session->isWebSocketOpen());
    EXPECT_EQ(controller.openSessions().size(), 1);

    server.sendToWebSockets("");                 // traffic, but nobody's business
    server.sendToWebSockets(QByteArray(), true); // likewise
    server.sendToWebSockets("changed");
    server.sendToWebSockets("\x01\x02", true);
    ASSERT_TRUE(waitUntil([&] { return delegate.events().size() == 3; }));
    EXPECT_EQ(delegate.events(), QStringList({u"open"_s, u"text changed"_s, u"data 0102"_s}));

    server.closeWebSockets(4001);
    ASSERT_TRUE(waitUntil([&] { return controller.openSessions().isEmpty(); }));
    spinFor(100ms);
    // The platform reports the end as a close and a completion; the delegate hears it once.
    EXPECT_EQ(delegate.endCount(), 1);
    EXPECT_EQ(delegate.events().last(), u"close 4001"_s);
    EXPECT_TRUE(logged(u"WS Connection did CLOSE with code: 4001 (/update:v1.1.CGUpdates)"_s));
    EXPECT_FALSE(session->isWebSocketOpen());
    EXPECT_EQ(session->delegate(), nullptr);
}

TEST_F(WebSocketSessions, ClosingReportsTheEndOnceThoughTheSessionIsAlsoInvalidated) {
    open();
    controller.closeWebSocketSessions();
    ASSERT_TRUE(waitUntil(
        [&] { return !server.webSocketCloseCodes().isEmpty() && controller.openSessions().isEmpty(); }));
    spinFor(100ms);
    EXPECT_EQ(server.webSocketCloseCodes(), QList<int>{1000});
    EXPECT_EQ(delegate.endCount(), 1);
}

TEST_F(WebSocketSessions, ARefusedConnectionCompletesWithAnError) {
    controller.setDelegate(&delegate);
    controller.openWebSocketAtURL(QUrl(u"ws://127.0.0.1:%1/update"_s.arg(testing_support::closedPort())), {});
    ASSERT_TRUE(waitUntil([&] { return delegate.endCount() == 1; }));
    spinFor(50ms);
    EXPECT_EQ(delegate.events(), QStringList{u"complete with error"_s});
    EXPECT_TRUE(controller.openSessions().isEmpty());
}

TEST_F(WebSocketSessions, KeepAliveClosesASilentServerThatOnceAnsweredPings) {
    open(fastKeepAlive(false));
    ASSERT_TRUE(waitUntil([&] { return session->hasReceivedPong(); }));
    server.stall();
    ASSERT_TRUE(waitUntil([&] {
        return logged(
            u"Closing WS Connection - The server does not respond anymore. (/update:v1.1.CGUpdates)"_s);
    }));
    server.resume(); // the close handshake then ends at once
    ASSERT_TRUE(waitUntil([&] { return delegate.endCount() == 1; }));
    spinFor(100ms);
    EXPECT_EQ(delegate.events(), QStringList({u"open"_s, u"close 1005"_s}));
}

TEST_F(WebSocketSessions, IgnoringPingErrorsOnlyLogsTheSilence) {
    open(fastKeepAlive(true));
    ASSERT_TRUE(waitUntil([&] { return session->hasReceivedPong(); }));
    server.stall();
    const QString line = u"The server did not respond to our ping. (/update:v1.1.CGUpdates)"_s;
    ASSERT_TRUE(waitUntil([&] { return controller.logLines().count(line) >= 2; }));
    EXPECT_TRUE(session->isWebSocketOpen());
}

TEST_F(WebSocketSessions, MessagesEvenEmptyOnesKeepPingsAway) {
    NVSAuthenticatedURLSession::KeepAliveSettings settings = fastKeepAlive(false);
    // Wide margins: a loaded machine (sanitizers, parallel tests) may stall the loop for a while.
    settings.silenceThreshold = 500ms;
    open(settings);
    QTimer chatter;
    QObject::connect(&chatter, &QTimer::timeout, &chatter, [&] { server.sendToWebSockets(""); });
    chatter.start(20);
    spinFor(1200ms);
    chatter.stop();
    EXPECT_FALSE(session->hasReceivedPong()) << "a ping went out: the server answers every one";
    EXPECT_EQ(delegate.events(), QStringList{u"open"_s});
}

TEST_F(WebSocketSessions, SuspendedSessionsKeepTheirMessagesForLater) {
    open();
    controller.suspendProcessingMessages();
    server.sendToWebSockets("first");
    server.sendToWebSockets("second");
    spinFor(150ms);
    EXPECT_EQ(delegate.events(), QStringList{u"open"_s});
    controller.resumeProcessingMessages();
    ASSERT_TRUE(waitUntil([&] { return delegate.events().size() == 3; }));
    EXPECT_EQ(delegate.events().mid(1), QStringList({u"text first"_s, u"text second"_s}));
}

TEST_F(WebSocketSessions, DestroyingTheControllerDetachesItsSessions) {
    auto owned = std::make_unique<RecordingController>();
    owned->setDelegate(&delegate);
    auto kept = owned->openWebSocketAtURL(socketURL(), {});
    ASSERT_TRUE(waitUntil([&] { return delegate.events().contains(u"open"_s); }));
    owned.reset();
    EXPECT_EQ(kept->delegate(), nullptr);
    server.sendToWebSockets("late");
    spinFor(100ms);
    EXPECT_EQ(delegate.events(), QStringList{u"open"_s});
}

class HTTPRequests : public ::testing::Test {
  protected:
    LoopbackHttpServer server;
    NVSAuthenticatedURLSessionController controller;
};

// How a challenge is answered (Basic, Digest, once) is the HTTP client's, tested with it.
TEST_F(HTTPRequests, AnswerChallengesWithTheGivenCredentials) {
    server.serve("/data", LoopbackHttpServer::Reply::text("payload"));
    server.requireCredentials("/data", LoopbackHttpServer::AuthScheme::Digest, u"op"_s, u"s3cret"_s);
    std::optional<platform::http::Response> response;
    const auto body =
        controller.synchronouslyRequestDataAtURL(server.url(u"/data"_s), u"op"_s, u"s3cret"_s, &response);
    EXPECT_EQ(body, QByteArray("payload"));
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusCode, 200);
    controller.synchronouslyRequestDataAtURL(server.url(u"/data"_s), u"op"_s, u"wrong"_s, &response);
    EXPECT_EQ(response->statusCode, 401) << "the refusal is an answer, not an error";
    EXPECT_TRUE(controller.openSessions().isEmpty());
}

// A delete succeeds only with status 200; a put sends its body with its content type.
TEST_F(HTTPRequests, DeleteAndPutGoOutAsAsked) {
    server.serve("/gone", LoopbackHttpServer::Reply::text("", "text/plain", 200));
    server.serve("/empty", LoopbackHttpServer::Reply::text("", "text/plain", 204));
    server.serve("/put", LoopbackHttpServer::Reply::text("{}", "application/json"));
    EXPECT_TRUE(controller.synchronouslyDeleteItemAtURL(server.url(u"/gone"_s), std::nullopt, std::nullopt));
    EXPECT_FALSE(
        controller.synchronouslyDeleteItemAtURL(server.url(u"/empty"_s), std::nullopt, std::nullopt));
    std::optional<platform::Error> error;
    controller.synchronouslyPutData("{\"a\":1}", server.url(u"/put"_s), u"application/json"_s, std::nullopt,
                                    std::nullopt, nullptr, &error);
    EXPECT_FALSE(error);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[0].method, QByteArray("DELETE"));
    EXPECT_EQ(requests[2].method, QByteArray("PUT"));
    EXPECT_EQ(requests[2].body, QByteArray("{\"a\":1}"));
    EXPECT_EQ(requests[2].header("Content-Type"), QByteArray("application/json"));
}

} // namespace
