#include "platform/HttpClient.h"

#include "peers/LoopbackHttpServer.h"
#include "support/TestHelpers.h"

#include <QTcpServer>
#include <atomic>
#include <chrono>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using platform::http::CancellationToken;
using platform::http::Client;
using platform::http::Request;
using platform::http::Response;
using testing_support::LoopbackHttpServer;
using Reply = LoopbackHttpServer::Reply;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An HTTP "deflate" body (zlib stream): qCompress prefixes four length bytes.
QByteArray deflated(const QByteArray& bytes) {
    return qCompress(bytes).sliced(4);
}

class HttpClientTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.isListening()); }

    Request get(const char* path) const { return Request(server.url(QString::fromUtf8(path))); }

    LoopbackHttpServer server;
    Client client;
};

using HttpClientRequestTest = HttpClientTest;
using HttpClientContentTest = HttpClientTest;
using HttpClientTimeoutTest = HttpClientTest;
using HttpClientConnectionTest = HttpClientTest;
using HttpClientAuthTest = HttpClientTest;
using HttpClientUploadTest = HttpClientTest;
using HttpClientAsyncTest = HttpClientTest;

} // namespace

// ---- What goes out --------------------------------------------------------------------------------

TEST_F(HttpClientRequestTest, MethodsBodiesAndHeadersArriveAsGiven) {
    server.serve("/echo", Reply::text("ok"));
    struct Case {
        QByteArray method;
        QByteArray body;
    };
    const QList<Case> cases = {
        {"GET", ""},    {"POST", "a=1&b=2"}, {"PUT", "{\"x\":1}"},
        {"DELETE", ""}, {"PATCH", "p"},      {"PROPFIND", "<x/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method.toStdString());
        server.clearRequests();
        Request request = get("/echo?q=1");
        request.method = c.method;
        request.body = c.body;
        request.headers.append("X-First", "1");
        request.headers.append("X-Second", "two words");
        request.headers.append("X-Empty", "");
        const Response response = client.perform(request);
        ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
        EXPECT_EQ(response.statusCode, 200);

        ASSERT_EQ(server.requestCount(), 1);
        const LoopbackHttpServer::Request received = server.requests().front();
        EXPECT_EQ(received.method, c.method);
        EXPECT_EQ(received.path, "/echo");
        EXPECT_EQ(received.query, "q=1");
        EXPECT_EQ(received.body, c.body);
        EXPECT_EQ(received.header("x-first"), "1");
        EXPECT_EQ(received.header("X-Second"), "two words");
        EXPECT_EQ(received.header("X-Empty"), "");
        // Caller's headers keep their relative order.
        qsizetype first = -1, second = -1;
        for (qsizetype i = 0; i < received.headers.size(); ++i) {
            if (received.headers[i].first == "X-First")
                first = i;
            if (received.headers[i].first == "X-Second")
                second = i;
        }
        EXPECT_LT(first, second);
        // A body is labelled only by the caller.
        EXPECT_FALSE(received.header("Content-Type"));
    }
}

TEST_F(HttpClientRequestTest, BodyWithCallersContentTypeAndEmptyPostBody) {
    server.serve("/in", Reply::text("ok"));
    Request request = get("/in");
    request.method = "POST";
    request.body = "{\"a\":1}";
    request.headers.append("Content-Type", "application/json");
    ASSERT_FALSE(client.perform(request).error);

    Request empty = get("/in");
    empty.method = "POST";
    ASSERT_FALSE(client.perform(empty).error);

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0].header("Content-Type"), "application/json");
    EXPECT_EQ(received[0].body, "{\"a\":1}");
    EXPECT_EQ(received[1].method, "POST");
    EXPECT_EQ(received[1].header("Content-Length"), "0");
}

TEST_F(HttpClientRequestTest, HeaderWithLineBreakIsRefusedBeforeAnythingIsSent) {
    server.serve("/x", Reply::text("ok"));
    Request request = get("/x");
    request.headers.append("X-Injected", "a\r\nX-Evil: 1");
    const Response response = client.perform(request);
    ASSERT_TRUE(response.error);
    EXPECT_EQ(response.error->domain, platform::Error::CurlDomain);
    EXPECT_EQ(server.connectionCount(), 0);
}

// ---- What comes back ------------------------------------------------------------------------------

TEST_F(HttpClientContentTest, StatusHeadersAndMimeTypeOfTheResponse) {
    Reply reply;
    reply.status = 201;
    reply.headers = {
        {"Content-Type", "Application/JSON; charset=UTF-8"}, {"X-B", "2"}, {"X-A", "1"}, {"X-B", "3"}};
    reply.body = "{}";
    server.serve("/made", reply);

    const Response response = client.perform(get("/made"));
    ASSERT_FALSE(response.error);
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, "{}");
    EXPECT_EQ(response.mimeType, QStringLiteral("application/json"));
    EXPECT_EQ(response.header("content-type"), "Application/JSON; charset=UTF-8");
    EXPECT_EQ(response.header("x-b"), "2");
    EXPECT_EQ(response.headers.values("X-B"), (QList<QByteArray>{"2", "3"}));
    EXPECT_FALSE(response.header("X-Missing"));
    QList<QByteArray> names;
    for (const auto& field : response.headers)
        names.append(field.first);
    EXPECT_LT(names.indexOf("X-B"), names.indexOf("X-A"));
}

TEST_F(HttpClientContentTest, ErrorStatusIsAResponseNotATransportError) {
    server.serve("/broken", Reply::text("boom", "text/plain", 500));
    const Response response = client.perform(get("/broken"));
    EXPECT_FALSE(response.error);
    EXPECT_EQ(response.statusCode, 500);
    EXPECT_EQ(response.body, "boom");
}

TEST_F(HttpClientContentTest, RedirectsAreFollowedAndTheFinalResponseReported) {
    Reply moved;
    moved.status = 302;
    moved.headers = {{"Location", "/new"}, {"X-Hop", "old"}};
    server.serve("/old", moved);
    Reply final = Reply::text("<rss/>", "application/rss+xml");
    final.withHeader("X-Final", "yes");
    server.serve("/new", final);

    const Response response = client.perform(get("/old"));
    ASSERT_FALSE(response.error);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, "<rss/>");
    EXPECT_EQ(response.url, server.url(QStringLiteral("/new")));
    EXPECT_EQ(response.header("X-Final"), "yes");
    EXPECT_FALSE(response.header("X-Hop"));
    EXPECT_FALSE(response.header("Location"));
}

TEST_F(HttpClientContentTest, HeadHasHeadersButNoBody) {
    server.serve("/feed", Reply::text("0123456789", "text/xml"));
    Request request = get("/feed");
    request.method = "HEAD";
    const Response response = client.perform(request);
    ASSERT_FALSE(response.error);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_TRUE(response.body.isEmpty());
    EXPECT_EQ(response.header("Content-Length"), "10");
    EXPECT_EQ(response.mimeType, QStringLiteral("text/xml"));
}

TEST_F(HttpClientContentTest, CompressedBodyIsDecoded) {
    const QByteArray text = QByteArray("<item>value</item>").repeated(200);
    Reply reply = Reply::text(deflated(text), "text/xml");
    reply.withHeader("Content-Encoding", "deflate");
    server.serve("/z", reply);

    const Response response = client.perform(get("/z"));
    ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
    EXPECT_EQ(response.body, text);
    EXPECT_TRUE(server.requests().front().header("Accept-Encoding").value_or("").contains("deflate"));
}

TEST_F(HttpClientContentTest, ResponseSizeLimit) {
    server.serve("/big", Reply::text(QByteArray(2000, 'x')));
    Request request = get("/big");

    request.maximumResponseSize = 2000; // exactly at the limit is fine
    const Response atLimit = client.perform(request);
    ASSERT_FALSE(atLimit.error);
    EXPECT_EQ(atLimit.body.size(), 2000);

    request.maximumResponseSize = 1999;
    const Response over = client.perform(request);
    ASSERT_TRUE(over.error);
    EXPECT_EQ(over.error->code, int(CURLE_FILESIZE_EXCEEDED));
    EXPECT_TRUE(over.error->localizedDescription().contains(QStringLiteral("1999")));
    EXPECT_EQ(over.statusCode, 0);
    EXPECT_TRUE(over.body.isEmpty());

    // A small compressed body that inflates past the limit: the declared length does not help.
    Reply bomb = Reply::text(deflated(QByteArray(4 * 1024 * 1024, '\0')));
    bomb.withHeader("Content-Encoding", "deflate");
    server.serve("/bomb", bomb);
    Request bombRequest = get("/bomb");
    bombRequest.maximumResponseSize = 64 * 1024;
    const Response inflated = client.perform(bombRequest);
    ASSERT_TRUE(inflated.error);
    EXPECT_EQ(inflated.error->code, int(CURLE_FILESIZE_EXCEEDED));
}

// ---- Time-outs ------------------------------------------------------------------------------------

TEST_F(HttpClientTimeoutTest, RequestTimeoutFiresWhenTheServerFallsSilent) {
    Reply stalls = Reply::text(QByteArray(100, 'x'));
    stalls.stallAfterBodyBytes = 10;
    server.serve("/stall", stalls);
    server.serve("/hang", Reply::hang());

    for (const char* path : {"/stall", "/hang"}) {
        SCOPED_TRACE(path);
        Request request = get(path);
        request.requestTimeout = 0.3;
        request.resourceTimeout = 5; // turns a broken request time-out into a failure, not a hang
        const auto start = Clock::now();
        const Response response = client.perform(request);
        const double elapsed = secondsSince(start);
        ASSERT_TRUE(response.error);
        EXPECT_EQ(response.error->code, int(CURLE_OPERATION_TIMEDOUT));
        EXPECT_EQ(response.error->userInfo.value(Client::TimeoutKindKey), Client::TimeoutKindRequest);
        EXPECT_EQ(response.error->localizedDescription(), QStringLiteral("The request timed out."));
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_GE(elapsed, 0.29);
        EXPECT_LT(elapsed, 3.0);
    }
}

TEST_F(HttpClientTimeoutTest, SteadyDripLongerThanTheRequestTimeoutCompletes) {
    Reply drip = Reply::text("0123456789");
    drip.dripInterval = 60ms;
    drip.dripChunkSize = 1;
    server.serve("/drip", drip);

    Request request = get("/drip");
    request.requestTimeout = 0.25;
    const auto start = Clock::now();
    const Response response = client.perform(request);
    ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
    EXPECT_EQ(response.body, "0123456789");
    // Only meaningful if the whole transfer outlasted the idle window.
    EXPECT_GT(secondsSince(start), 0.25);
}

TEST_F(HttpClientTimeoutTest, ResourceTimeoutLimitsTheWholeTransfer) {
    Reply drip = Reply::text("0123456789");
    drip.dripInterval = 60ms;
    server.serve("/drip", drip);

    Request request = get("/drip");
    request.requestTimeout = 0;
    request.resourceTimeout = 0.25;
    const auto start = Clock::now();
    const Response response = client.perform(request);
    ASSERT_TRUE(response.error);
    EXPECT_EQ(response.error->code, int(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(response.error->userInfo.value(Client::TimeoutKindKey), Client::TimeoutKindResource);
    EXPECT_EQ(response.statusCode, 0); // even though "200" had already arrived
    EXPECT_LT(secondsSince(start), 0.6);
}

// ---- Connections and transport errors --------------------------------------------------------------

TEST_F(HttpClientConnectionTest, EveryRequestUsesAFreshConnection) {
    server.serve("/x", Reply::text("ok"));
    for (int i = 0; i < 3; ++i)
        ASSERT_FALSE(client.perform(get("/x")).error);
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 3);
    EXPECT_EQ(server.connectionCount(), 3);
    EXPECT_NE(received[0].connection, received[1].connection);
    EXPECT_NE(received[1].connection, received[2].connection);

    // Not even a redirect hop to the same server reuses the connection.
    Reply moved;
    moved.status = 302;
    moved.headers = {{"Location", "/x"}};
    server.serve("/moved", moved);
    ASSERT_FALSE(client.perform(get("/moved")).error);
    EXPECT_EQ(server.requestCount(), 5);
    EXPECT_EQ(server.connectionCount(), 5);
}

TEST_F(HttpClientConnectionTest, TransportFailuresAreErrorValues) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 deadPort = closed.serverPort();
    closed.close();
    const Response refused =
        client.perform(Request(QUrl(QStringLiteral("http://127.0.0.1:%1/feed").arg(deadPort))));
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->domain, platform::Error::CurlDomain);
    EXPECT_EQ(refused.error->code, int(CURLE_COULDNT_CONNECT));
    EXPECT_FALSE(refused.error->localizedDescription().isEmpty());
    EXPECT_EQ(refused.statusCode, 0);

    server.serve("/drop", Reply::close());
    const Response dropped = client.perform(get("/drop"));
    ASSERT_TRUE(dropped.error);
    EXPECT_EQ(dropped.error->code, int(CURLE_GOT_NOTHING));

    const Response unsupported = client.perform(Request(QUrl(QStringLiteral("file:///etc/hostname"))));
    ASSERT_TRUE(unsupported.error);
    EXPECT_EQ(unsupported.error->code, int(CURLE_UNSUPPORTED_PROTOCOL));
}

// ---- Credentials ------------------------------------------------------------------------------------

TEST_F(HttpClientAuthTest, BasicAndDigestCredentialsAreAccepted) {
    server.serve("/basic", Reply::text("basic ok"));
    server.requireCredentials("/basic", LoopbackHttpServer::AuthScheme::Basic, QStringLiteral("ann"),
                              QStringLiteral("s3cret"));
    server.serve("/digest", Reply::text("digest ok"));
    server.requireCredentials("/digest", LoopbackHttpServer::AuthScheme::Digest, QStringLiteral("bob"),
                              QStringLiteral("pässword"));

    Request basic = get("/basic");
    basic.credentials = Request::Credentials{QStringLiteral("ann"), QStringLiteral("s3cret")};
    const Response basicResponse = client.perform(basic);
    ASSERT_FALSE(basicResponse.error);
    EXPECT_EQ(basicResponse.statusCode, 200);
    EXPECT_EQ(basicResponse.body, "basic ok");

    // A body must survive the challenge round trip.
    Request digest = get("/digest?v=1");
    digest.method = "PUT";
    digest.body = "payload";
    digest.credentials = Request::Credentials{QStringLiteral("bob"), QStringLiteral("pässword")};
    const Response digestResponse = client.perform(digest);
    ASSERT_FALSE(digestResponse.error);
    EXPECT_EQ(digestResponse.statusCode, 200);
    EXPECT_EQ(digestResponse.body, "digest ok");
    const auto received = server.requests();
    ASSERT_FALSE(received.isEmpty());
    EXPECT_TRUE(received.back().header("Authorization").value_or("").startsWith("Digest "));
    EXPECT_EQ(received.back().body, "payload");
}

TEST_F(HttpClientAuthTest, WrongPasswordEndsWith401AfterOneAttempt) {
    for (const auto scheme :
         {LoopbackHttpServer::AuthScheme::Basic, LoopbackHttpServer::AuthScheme::Digest}) {
        SCOPED_TRACE(scheme == LoopbackHttpServer::AuthScheme::Basic ? "Basic" : "Digest");
        server.clearRequests();
        server.serve("/secure", Reply::text("secret"));
        server.requireCredentials("/secure", scheme, QStringLiteral("ann"), QStringLiteral("right"));

        Request request = get("/secure");
        request.credentials = Request::Credentials{QStringLiteral("ann"), QStringLiteral("wrong")};
        const Response response = client.perform(request);
        ASSERT_FALSE(response.error);
        EXPECT_EQ(response.statusCode, 401);
        EXPECT_TRUE(response.header("WWW-Authenticate"));

        int credentialed = 0;
        for (const auto& received : server.requests())
            credentialed += received.header("Authorization").has_value() ? 1 : 0;
        EXPECT_EQ(credentialed, 1);
        EXPECT_LE(server.requestCount(), 2);
    }
}

// ---- Uploads ---------------------------------------------------------------------------------------

TEST_F(HttpClientUploadTest, ProgressIsReportedUpToTheBodySize) {
    server.serve("/upload", Reply::text("stored"));
    // Large enough for curl to ask "Expect: 100-continue" first.
    QByteArray body(2 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char(i * 31 % 251);

    for (const QByteArray& method : {QByteArrayLiteral("POST"), QByteArrayLiteral("PUT")}) {
        SCOPED_TRACE(method.toStdString());
        server.clearRequests();
        QList<std::pair<qint64, qint64>> reports;
        Request request = get("/upload");
        request.method = method;
        request.body = body;
        request.uploadProgress = [&](qint64 sent, qint64 total) { reports.append({sent, total}); };
        const Response response = client.perform(request);
        ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
        EXPECT_EQ(response.body, "stored");

        ASSERT_FALSE(reports.isEmpty());
        EXPECT_EQ(reports.back(), std::make_pair(qint64(body.size()), qint64(body.size())));
        for (qsizetype i = 1; i < reports.size(); ++i) {
            EXPECT_GE(reports[i].first, reports[i - 1].first);
            EXPECT_EQ(reports[i].second, qint64(body.size()));
        }
        ASSERT_EQ(server.requestCount(), 1);
        EXPECT_EQ(server.requests().front().header("Expect"), "100-continue");
        EXPECT_EQ(server.requests().front().body, body);
    }
}

// ---- Asynchronous requests and cancellation --------------------------------------------------------

TEST_F(HttpClientAsyncTest, CompletionRunsOnceOnAWorkerThread) {
    server.serve("/x", Reply::text("async"));
    std::mutex mutex;
    std::optional<Response> result;
    std::thread::id completionThread;
    std::atomic<int> calls{0};
    const auto task = client.start(get("/x"), [&](Response response) {
        std::lock_guard lock(mutex);
        completionThread = std::this_thread::get_id();
        result = std::move(response);
        ++calls;
    });
    ASSERT_TRUE(testing_support::waitUntil([&] { return task->isFinished(); }));
    std::lock_guard lock(mutex);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->error);
    EXPECT_EQ(result->body, "async");
    EXPECT_NE(completionThread, std::this_thread::get_id());
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(HttpClientAsyncTest, CancellingAHangingRequestCompletesPromptlyWithTheCancellationError) {
    server.serve("/hang", Reply::hang());
    std::mutex mutex;
    std::optional<Response> result;
    std::atomic<int> calls{0};
    Request request = get("/hang");
    request.requestTimeout = 0;
    request.resourceTimeout = 5; // a failure, not a hang, if cancelling is broken
    const auto task = client.start(request, [&](Response response) {
        std::lock_guard lock(mutex);
        result = std::move(response);
        ++calls;
    });
    ASSERT_TRUE(testing_support::waitUntil([&] { return server.requestCount() == 1; }));
    const auto cancelledAt = Clock::now();
    task->cancel();
    ASSERT_TRUE(testing_support::waitUntil([&] { return task->isFinished(); }, 2000ms));
    EXPECT_LT(secondsSince(cancelledAt), 0.5);
    std::this_thread::sleep_for(50ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(calls.load(), 1);
    ASSERT_TRUE(result && result->error);
    EXPECT_EQ(result->error->code, int(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_EQ(result->error->localizedDescription(), QStringLiteral("cancelled"));
}

TEST_F(HttpClientAsyncTest, SynchronousRequestCanBeCancelledFromAnotherThread) {
    CancellationToken token;
    // The server thread cancels as soon as the request is in, then never answers.
    server.route("/hang", [token](const LoopbackHttpServer::Request&) {
        token.cancel();
        return Reply::hang();
    });
    Request request = get("/hang");
    request.requestTimeout = 0;
    request.resourceTimeout = 5; // a failure, not a hang, if cancelling is broken
    const Response response = client.perform(request, token);
    ASSERT_TRUE(response.error);
    EXPECT_EQ(response.error->code, int(CURLE_ABORTED_BY_CALLBACK));
}

TEST_F(HttpClientAsyncTest, DestroyingTheClientCancelsEveryRequestAndRunsEachCompletionOnce) {
    server.serve("/hang", Reply::hang());
    auto owned = std::make_unique<Client>(2);
    std::atomic<int> calls{0};
    std::atomic<int> cancelled{0};
    Request request = get("/hang");
    request.requestTimeout = 0;
    request.resourceTimeout = 5; // a failure, not a hang, if cancelling is broken
    QList<std::shared_ptr<platform::http::Task>> tasks;
    for (int i = 0; i < 3; ++i) { // the third waits for a free worker
        tasks.append(owned->start(request, [&](Response response) {
            ++calls;
            if (response.error && response.error->code == int(CURLE_ABORTED_BY_CALLBACK))
                ++cancelled;
        }));
    }
    ASSERT_TRUE(testing_support::waitUntil([&] { return server.requestCount() == 2; }));
    owned.reset();
    EXPECT_EQ(calls.load(), 3);
    EXPECT_EQ(cancelled.load(), 3);
    for (const auto& task : tasks)
        EXPECT_TRUE(task->isFinished());
    EXPECT_EQ(server.requestCount(), 2); // the queued one never went out
}
