#include "RawWebSocketPeer.h"
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
    void webSocketSessionDidOpen(const Session&) override { record(QStringLiteral("open")); }
    void webSocketSessionDidClose(const Session&, qint64 code) override {
        record(QStringLiteral("close %1").arg(code));
    }
    void webSocketSessionDidReceiveDataMessage(const Session&, const QByteArray& data) override {
        record(QStringLiteral("data ") + QString::fromLatin1(data.toHex()));
    }
    void webSocketSessionDidReceiveStringMessage(const Session&, const QString& text) override {
        record(QStringLiteral("text ") + text);
    }
    void webSocketSessionDidCompleteWithError(const Session&,
                                              const std::optional<platform::Error>& error) override {
        record(error ? QStringLiteral("complete with error") : QStringLiteral("complete"));
    }
    QStringList events() {
        std::lock_guard lock(mutex);
        return list;
    }
    int endCount() {
        int count = 0;
        for (const QString& event : events())
            count +=
                event.startsWith(QStringLiteral("close")) || event.startsWith(QStringLiteral("complete"));
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
        session = controller.openWebSocketAtURL(peer.url(QStringLiteral("/update")),
                                                {QStringLiteral("v1.1.CGUpdates")});
        ASSERT_TRUE(waitUntil([&] { return delegate.events().contains(QStringLiteral("open")); }));
    }
    static NVSAuthenticatedURLSession::KeepAliveSettings fastKeepAlive(bool ignoreErrors) {
        NVSAuthenticatedURLSession::KeepAliveSettings settings;
        settings.period = 60ms;
        settings.silenceThreshold = 30ms;
        settings.ignorePingPongErrors = [ignoreErrors] { return ignoreErrors; };
        return settings;
    }
    bool logged(const QString& line) { return controller.logLines().contains(line); }

    RawWebSocketPeer peer;
    RecordingDelegate delegate;
    RecordingController controller;
    std::shared_ptr<NVSAuthenticatedURLSession> session;
};

TEST_F(WebSocketSessions, RelayOpenMessagesAndOneEnd) {
    open(fastKeepAlive(false));
    EXPECT_TRUE(peer.lastHandshake.contains("Sec-WebSocket-Protocol: v1.1.CGUpdates"));
    EXPECT_TRUE(logged(QStringLiteral("WS Connection did OPEN (/update:v1.1.CGUpdates)")));
    EXPECT_EQ(session->path(), QStringLiteral("update"));
    EXPECT_TRUE(session->isWebSocketOpen());
    EXPECT_EQ(controller.openSessions().size(), 1);

    peer.sendText("");             // traffic, but nobody's business
    peer.sendBinary(QByteArray()); // likewise
    peer.sendText("changed");
    peer.sendBinary("\x01\x02");
    ASSERT_TRUE(waitUntil([&] { return delegate.events().size() == 3; }));
    EXPECT_EQ(delegate.events(), QStringList({QStringLiteral("open"), QStringLiteral("text changed"),
                                              QStringLiteral("data 0102")}));

    peer.sendClose(4001);
    ASSERT_TRUE(waitUntil([&] { return controller.openSessions().isEmpty(); }));
    spinFor(100ms);
    // The platform reports the end as a close and a completion; the delegate hears it once.
    EXPECT_EQ(delegate.endCount(), 1);
    EXPECT_EQ(delegate.events().last(), QStringLiteral("close 4001"));
    EXPECT_TRUE(logged(QStringLiteral("WS Connection did CLOSE with code: 4001 (/update:v1.1.CGUpdates)")));
    EXPECT_FALSE(session->isWebSocketOpen());
    EXPECT_EQ(session->delegate(), nullptr);
}

TEST_F(WebSocketSessions, ClosingReportsTheEndOnceThoughTheSessionIsAlsoInvalidated) {
    open();
    controller.closeWebSocketSessions();
    ASSERT_TRUE(
        waitUntil([&] { return !peer.closeCodesReceived.isEmpty() && controller.openSessions().isEmpty(); }));
    spinFor(100ms);
    EXPECT_EQ(peer.closeCodesReceived, QList<int>{1000});
    EXPECT_EQ(delegate.endCount(), 1);
}

TEST_F(WebSocketSessions, ARefusedConnectionCompletesWithAnError) {
    controller.setDelegate(&delegate);
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    controller.openWebSocketAtURL(QUrl(QStringLiteral("ws://127.0.0.1:%1/update").arg(port)), {});
    ASSERT_TRUE(waitUntil([&] { return delegate.endCount() == 1; }));
    spinFor(50ms);
    EXPECT_EQ(delegate.events(), QStringList{QStringLiteral("complete with error")});
    EXPECT_TRUE(controller.openSessions().isEmpty());
}

TEST_F(WebSocketSessions, KeepAliveClosesASilentServerThatOnceAnsweredPings) {
    open(fastKeepAlive(false));
    ASSERT_TRUE(waitUntil([&] { return session->hasReceivedPong(); }));
    peer.answerPings = false;
    ASSERT_TRUE(waitUntil([&] { return !peer.closeCodesReceived.isEmpty(); }));
    EXPECT_EQ(peer.closeCodesReceived.first(), 1005);
    EXPECT_TRUE(logged(QStringLiteral(
        "Closing WS Connection - The server does not respond anymore. (/update:v1.1.CGUpdates)")));
    ASSERT_TRUE(waitUntil([&] { return delegate.endCount() == 1; }));
    spinFor(100ms);
    EXPECT_EQ(delegate.endCount(), 1);
}

TEST_F(WebSocketSessions, KeepAliveLeavesOpenAServerThatNeverAnsweredPings) {
    peer.answerPings = false;
    open(fastKeepAlive(false));
    ASSERT_TRUE(waitUntil([&] { return peer.pingsReceived >= 3; }));
    EXPECT_TRUE(session->isWebSocketOpen());
    EXPECT_FALSE(session->hasReceivedPong());
    EXPECT_TRUE(peer.closeCodesReceived.isEmpty());
    EXPECT_EQ(delegate.endCount(), 0);
}

TEST_F(WebSocketSessions, IgnoringPingErrorsOnlyLogsTheSilence) {
    open(fastKeepAlive(true));
    ASSERT_TRUE(waitUntil([&] { return session->hasReceivedPong(); }));
    peer.answerPings = false;
    const QString line = QStringLiteral("The server did not respond to our ping. (/update:v1.1.CGUpdates)");
    ASSERT_TRUE(waitUntil([&] { return controller.logLines().count(line) >= 2; }));
    EXPECT_TRUE(session->isWebSocketOpen());
    EXPECT_TRUE(peer.closeCodesReceived.isEmpty());
}

TEST_F(WebSocketSessions, MessagesEvenEmptyOnesKeepPingsAway) {
    NVSAuthenticatedURLSession::KeepAliveSettings settings = fastKeepAlive(false);
    // Wide margins: a loaded machine (sanitizers, parallel tests) may stall the loop for a while.
    settings.silenceThreshold = 500ms;
    open(settings);
    QTimer chatter;
    QObject::connect(&chatter, &QTimer::timeout, &peer, [&] { peer.sendText(""); });
    chatter.start(20);
    spinFor(1200ms);
    chatter.stop();
    EXPECT_EQ(peer.pingsReceived, 0);
    EXPECT_EQ(delegate.events(), QStringList{QStringLiteral("open")});
}

TEST_F(WebSocketSessions, SuspendedSessionsKeepTheirMessagesForLater) {
    open();
    controller.suspendProcessingMessages();
    peer.sendText("first");
    peer.sendText("second");
    spinFor(150ms);
    EXPECT_EQ(delegate.events(), QStringList{QStringLiteral("open")});
    controller.resumeProcessingMessages();
    ASSERT_TRUE(waitUntil([&] { return delegate.events().size() == 3; }));
    EXPECT_EQ(delegate.events().mid(1),
              QStringList({QStringLiteral("text first"), QStringLiteral("text second")}));
}

TEST_F(WebSocketSessions, DestroyingTheControllerDetachesItsSessions) {
    auto owned = std::make_unique<RecordingController>();
    owned->setDelegate(&delegate);
    auto kept = owned->openWebSocketAtURL(peer.url(QStringLiteral("/update")), {});
    ASSERT_TRUE(waitUntil([&] { return delegate.events().contains(QStringLiteral("open")); }));
    owned.reset();
    EXPECT_EQ(kept->delegate(), nullptr);
    peer.sendText("late");
    spinFor(100ms);
    EXPECT_EQ(delegate.events(), QStringList{QStringLiteral("open")});
}

class HTTPRequests : public ::testing::Test {
  protected:
    LoopbackHttpServer server;
    NVSAuthenticatedURLSessionController controller;
};

TEST_F(HTTPRequests, AnswerBasicAndDigestChallengesOnce) {
    for (auto scheme : {LoopbackHttpServer::AuthScheme::Basic, LoopbackHttpServer::AuthScheme::Digest}) {
        server.clearRequests();
        server.serve("/data", LoopbackHttpServer::Reply::text("payload"));
        server.requireCredentials("/data", scheme, QStringLiteral("op"), QStringLiteral("s3cret"));
        std::optional<platform::http::Response> response;
        const auto body = controller.synchronouslyRequestDataAtURL(
            server.url(QStringLiteral("/data")), QStringLiteral("op"), QStringLiteral("s3cret"), &response);
        EXPECT_EQ(body, QByteArray("payload"));
        ASSERT_TRUE(response);
        EXPECT_EQ(response->statusCode, 200);

        server.clearRequests();
        controller.synchronouslyRequestDataAtURL(server.url(QStringLiteral("/data")), QStringLiteral("op"),
                                                 QStringLiteral("wrong"), &response);
        EXPECT_EQ(response->statusCode, 401);
        EXPECT_EQ(server.requestCount(), 2) << "one probe, one attempt with the wrong password";
    }
    EXPECT_TRUE(controller.openSessions().isEmpty());
}

TEST_F(HTTPRequests, DeleteSucceedsOnlyWithStatus200) {
    server.serve("/gone", LoopbackHttpServer::Reply::text("", "text/plain", 200));
    server.serve("/empty", LoopbackHttpServer::Reply::text("", "text/plain", 204));
    EXPECT_TRUE(controller.synchronouslyDeleteItemAtURL(server.url(QStringLiteral("/gone")), std::nullopt,
                                                        std::nullopt));
    EXPECT_FALSE(controller.synchronouslyDeleteItemAtURL(server.url(QStringLiteral("/empty")), std::nullopt,
                                                         std::nullopt));
    EXPECT_EQ(server.requests().first().method, QByteArray("DELETE"));
}

TEST_F(HTTPRequests, PutSendsTheBodyWithItsContentType) {
    server.serve("/put", LoopbackHttpServer::Reply::text("{}", "application/json"));
    std::optional<platform::Error> error;
    controller.synchronouslyPutData("{\"a\":1}", server.url(QStringLiteral("/put")),
                                    QStringLiteral("application/json"), std::nullopt, std::nullopt, nullptr,
                                    &error);
    EXPECT_FALSE(error);
    const auto request = server.requests().first();
    EXPECT_EQ(request.method, QByteArray("PUT"));
    EXPECT_EQ(request.body, QByteArray("{\"a\":1}"));
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
}

} // namespace
