#include "platform/HttpClient.h"

#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

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
Reply deflated(const QByteArray& bytes, const QByteArray& contentType = "text/xml") {
    Reply reply = Reply::text(qCompress(bytes).sliced(4), contentType);
    reply.withHeader("Content-Encoding", "deflate");
    return reply;
}

/// Where the first header of that name is, or -1.
template <typename Headers> qsizetype position(const Headers& headers, QByteArrayView name) {
    qsizetype index = 0;
    for (const auto& field : headers) {
        if (field.first == name)
            return index;
        ++index;
    }
    return -1;
}

class HttpClientTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.isListening()); }

    Request requestTo(const char* path, const QByteArray& method = "GET", const QByteArray& body = {}) const {
        Request request(server.url(QString::fromUtf8(path)), method);
        request.body = body;
        return request;
    }
    /// A request to a server that never answers, which only cancelling ends: its own time-outs
    /// turn a broken cancellation into a failure after five seconds rather than a hang.
    Request hanging() const {
        Request request = requestTo("/hang");
        request.requestTimeout = 0;
        request.resourceTimeout = 5;
        return request;
    }

    LoopbackHttpServer server;
    Client client;
};

} // namespace

// ---- What goes out and what comes back ------------------------------------------------------------

// An error status is a response like any other, not a transport error.
TEST_F(HttpClientTest, RequestsGoOutAndResponsesComeBackAsGiven) {
    Reply reply = Reply::text("boom", "Application/JSON; charset=UTF-8", 500);
    reply.withHeader("X-B", "2").withHeader("X-A", "1").withHeader("X-B", "3");
    server.serve("/echo", reply);
    const struct {
        QByteArray method;
        QByteArray body;
        QByteArray contentType; // the caller's, if any
    } cases[] = {
        {"GET", "", ""},    {"POST", "a=1&b=2", ""},  {"POST", "{\"a\":1}", "application/json"},
        {"POST", "", ""},   {"PUT", "{\"x\":1}", ""}, {"PATCH", "", ""},
        {"DELETE", "", ""}, {"PROPFIND", "<x/>", ""}, {"HEAD", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method.toStdString() + " " + c.body.toStdString());
        server.clearRequests();
        Request request = requestTo("/echo?q=1", c.method, c.body);
        request.headers.append("X-First", "1");
        request.headers.append("X-Second", "two words");
        request.headers.append("X-Empty", "");
        if (!c.contentType.isEmpty())
            request.headers.append("Content-Type", c.contentType);
        const Response response = client.perform(request);
        ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
        EXPECT_EQ(response.statusCode, 500);
        // HEAD has the answer's headers but no body.
        EXPECT_EQ(response.body, c.method == "HEAD" ? QByteArray() : QByteArray("boom"));
        EXPECT_EQ(response.mimeType, u"application/json"_s);
        EXPECT_EQ(response.header("content-type"), "Application/JSON; charset=UTF-8");
        EXPECT_EQ(response.header("x-b"), "2");
        EXPECT_EQ(response.headers.values("X-B"), (QList<QByteArray>{"2", "3"}));
        EXPECT_FALSE(response.header("X-Missing"));
        EXPECT_LT(position(response.headers, "X-B"), position(response.headers, "X-A"));

        ASSERT_EQ(server.requestCount(), 1);
        const LoopbackHttpServer::Request received = server.requests().front();
        EXPECT_EQ(received.method, c.method);
        EXPECT_EQ(received.path, "/echo");
        EXPECT_EQ(received.query, "q=1");
        EXPECT_EQ(received.body, c.body);
        EXPECT_EQ(received.header("x-first"), "1");
        EXPECT_EQ(received.header("X-Second"), "two words");
        EXPECT_EQ(received.header("X-Empty"), "");
        EXPECT_LT(position(received.headers, "X-First"), position(received.headers, "X-Second"));
        // A body is labelled only by the caller.
        EXPECT_EQ(received.header("Content-Type"),
                  c.contentType.isEmpty() ? std::nullopt : std::optional(c.contentType));
        if (c.body.isEmpty() && (c.method == "POST" || c.method == "PATCH")) {
            EXPECT_EQ(received.header("Content-Length"), "0");
        }
    }
}

// Neither a new request nor a redirect hop to the same server reuses a connection. The final
// response's start is told once, before its body, with its own status and headers.
TEST_F(HttpClientTest, RedirectsAreFollowedOnFreshConnections) {
    Reply moved;
    moved.status = 302;
    moved.headers = {{"Location", "/new"}, {"X-Hop", "old"}};
    server.serve("/old", moved);
    Reply final = Reply::text("<rss/>", "application/rss+xml");
    final.withHeader("X-Final", "yes");
    server.serve("/new", final);

    for (int i = 0; i < 2; ++i) {
        Request request = requestTo("/old");
        std::vector<std::pair<int, QByteArray>> starts;
        request.bodyStarting = [&starts](int status, const platform::http::HeaderList& headers) {
            starts.emplace_back(status, headers.value("X-Final").value_or("none"));
        };
        const Response response = client.perform(request);
        ASSERT_FALSE(response.error);
        EXPECT_EQ(starts, (std::vector<std::pair<int, QByteArray>>{{200, "yes"}}));
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(response.body, "<rss/>");
        EXPECT_EQ(response.url, server.url(u"/new"_s));
        EXPECT_EQ(response.header("X-Final"), "yes");
        EXPECT_FALSE(response.header("X-Hop"));
        EXPECT_FALSE(response.header("Location"));
    }
    EXPECT_EQ(server.requestCount(), 4);
    EXPECT_EQ(server.connectionCount(), 4);
}

// Collects what it is given, as a feed parser would take it.
struct CollectingConsumer : platform::http::BodyConsumer {
    QByteArray taken;
    bool accepts(int statusCode, const platform::http::HeaderList&) override { return statusCode == 200; }
    void consume(QByteArrayView piece) override { taken.append(piece); }
};

// The limit applies to the decoded body: a small compressed body that inflates past it fails
// although its declared length is small; a body taken piece by piece as it arrives, too.
TEST_F(HttpClientTest, CompressedBodiesAreDecodedAndTheDecodedSizeIsLimited) {
    const QByteArray text = QByteArray("<item>value</item>").repeated(200);
    server.serve("/z", deflated(text));
    server.serve("/big", Reply::text(QByteArray(2000, 'x')));
    server.serve("/bomb", deflated(QByteArray(4 * 1024 * 1024, '\0')));
    const struct {
        const char* path;
        qint64 limit;
        QByteArray body; // null when the limit is exceeded
    } cases[] = {
        {"/z", Request::DefaultMaximumResponseSize, text},
        {"/big", 2000, QByteArray(2000, 'x')}, // exactly at the limit is fine
        {"/big", 1999, QByteArray()},
        {"/bomb", 64 * 1024, QByteArray()},
    };
    for (const auto& c : cases) {
        for (const bool consumed : {false, true}) {
            SCOPED_TRACE(std::string(c.path) + " limit " + std::to_string(c.limit) +
                         (consumed ? " consumed" : ""));
            server.clearRequests();
            Request request = requestTo(c.path);
            request.maximumResponseSize = c.limit;
            auto consumer = std::make_shared<CollectingConsumer>();
            if (consumed)
                request.bodyConsumer = consumer;
            int startsBeforeAnyByte = 0;
            request.bodyStarting = [&](int, const platform::http::HeaderList&) {
                startsBeforeAnyByte += consumer->taken.isEmpty() ? 1 : 100;
            };
            const Response response = client.perform(request);
            // A declared length beyond the limit ends the transfer before any of the body.
            EXPECT_EQ(startsBeforeAnyByte, c.body.isNull() ? std::min(startsBeforeAnyByte, 1) : 1);
            EXPECT_TRUE(server.requests().front().header("Accept-Encoding").value_or("").contains("deflate"));
            if (!c.body.isNull()) {
                ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
                EXPECT_EQ(consumed ? consumer->taken : response.body, c.body);
                EXPECT_EQ(response.bodyConsumed, consumed);
                continue;
            }
            ASSERT_TRUE(response.error);
            EXPECT_EQ(response.error->code, int(CURLE_FILESIZE_EXCEEDED));
            EXPECT_TRUE(response.error->localizedDescription().contains(QString::number(c.limit)));
            EXPECT_EQ(response.statusCode, 0);
            EXPECT_TRUE(response.body.isEmpty());
            EXPECT_LE(consumer->taken.size(), c.limit);
        }
    }
}

// ---- Time-outs ------------------------------------------------------------------------------------

TEST_F(HttpClientTest, RequestTimeoutsEndSilenceAndResourceTimeoutsEndTheWholeTransfer) {
    Reply stalls = Reply::text(QByteArray(100, 'x'));
    stalls.stallAfterBodyBytes = 10;
    server.serve("/stall", stalls);
    server.serve("/hang", Reply::hang());
    Reply drip = Reply::text("0123456789");
    drip.dripInterval = 60ms;
    server.serve("/drip", drip);

    const struct {
        const char* path;
        double requestTimeout;
        double resourceTimeout; // also turns a broken request time-out into a failure, not a hang
        QString kind;           // empty: the transfer completes
        const char* description;
        double minimumSeconds;
        double maximumSeconds;
    } cases[] = {
        {"/stall", 0.3, 5, Client::TimeoutKindRequest, "The request timed out.", 0.29, 3.0},
        {"/hang", 0.3, 5, Client::TimeoutKindRequest, "The request timed out.", 0.29, 3.0},
        // A steady drip outlasting the request time-out is never silent for that long.
        {"/drip", 0.25, 0, QString(), "", 0.25, 30.0},
        // "200" has already arrived when the resource time-out strikes.
        {"/drip", 0, 0.25, Client::TimeoutKindResource, "The resource timed out.", 0.0, 0.6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.kind.toStdString());
        Request request = requestTo(c.path);
        request.requestTimeout = c.requestTimeout;
        request.resourceTimeout = c.resourceTimeout;
        const auto start = Clock::now();
        const Response response = client.perform(request);
        const double elapsed = secondsSince(start);
        EXPECT_GT(elapsed, c.minimumSeconds);
        EXPECT_LT(elapsed, c.maximumSeconds);
        if (c.kind.isEmpty()) {
            ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
            EXPECT_EQ(response.body, "0123456789");
            continue;
        }
        ASSERT_TRUE(response.error);
        EXPECT_EQ(response.error->code, int(CURLE_OPERATION_TIMEDOUT));
        EXPECT_EQ(response.error->userInfo.value(Client::TimeoutKindKey), c.kind);
        EXPECT_EQ(response.error->localizedDescription(), QString::fromUtf8(c.description));
        EXPECT_EQ(response.statusCode, 0);
    }
}

// ---- Transport errors and credentials -------------------------------------------------------------

// A header that would smuggle in another header is refused before anything is sent.
TEST_F(HttpClientTest, TransportFailuresAreErrorValues) {
    server.serve("/drop", Reply::close());
    Request injected = requestTo("/drop");
    injected.headers.append("X-Injected", "a\r\nX-Evil: 1");
    const struct {
        Request request;
        CURLcode code;
        int connections; // to the test's server
    } cases[] = {
        {Request(QUrl(u"http://127.0.0.1:%1/feed"_s.arg(testing_support::closedPort()))),
         CURLE_COULDNT_CONNECT, 0},
        {requestTo("/drop"), CURLE_GOT_NOTHING, 1},
        {Request(QUrl(u"file:///etc/hostname"_s)), CURLE_UNSUPPORTED_PROTOCOL, 0},
        {injected, CURLE_BAD_FUNCTION_ARGUMENT, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.url.toString().toStdString() + " code " + std::to_string(c.code));
        const int before = server.connectionCount();
        const Response response = client.perform(c.request);
        ASSERT_TRUE(response.error);
        EXPECT_EQ(response.error->domain, platform::Error::CurlDomain);
        EXPECT_EQ(response.error->code, int(c.code));
        EXPECT_FALSE(response.error->localizedDescription().isEmpty());
        EXPECT_EQ(response.statusCode, 0);
        EXPECT_EQ(server.connectionCount() - before, c.connections);
    }
}

// Credentials are offered once: a wrong password ends with the server's 401.
TEST_F(HttpClientTest, CredentialsAreOfferedOnceForBasicAndDigest) {
    using Scheme = LoopbackHttpServer::AuthScheme;
    for (const auto scheme : {Scheme::Basic, Scheme::Digest}) {
        const QByteArray name = scheme == Scheme::Basic ? "Basic" : "Digest";
        const QString password = scheme == Scheme::Basic ? u"s3cret"_s : u"pässword"_s;
        server.serve("/secure", Reply::text("secret"));
        server.requireCredentials("/secure", scheme, u"ann"_s, password);
        for (const bool right : {true, false}) {
            SCOPED_TRACE(name.toStdString() + (right ? " right" : " wrong"));
            server.clearRequests();
            // A body must survive the challenge round trip.
            Request request = requestTo("/secure?v=1", "PUT", "payload");
            request.credentials = Request::Credentials{u"ann"_s, right ? password : u"wrong"_s};
            const Response response = client.perform(request);
            ASSERT_FALSE(response.error);
            EXPECT_EQ(response.statusCode, right ? 200 : 401);
            EXPECT_EQ(response.body, right ? "secret" : "Unauthorized");
            EXPECT_EQ(response.header("WWW-Authenticate").has_value(), !right);

            const auto received = server.requests();
            ASSERT_FALSE(received.isEmpty());
            EXPECT_LE(received.size(), 2);
            int credentialed = 0;
            for (const auto& one : received)
                credentialed += one.header("Authorization").has_value() ? 1 : 0;
            EXPECT_EQ(credentialed, 1);
            EXPECT_TRUE(
                received.back().header("Authorization").value_or("").startsWith(QByteArray(name + " ")));
            EXPECT_EQ(received.back().body, "payload");
        }
    }
}

// ---- Uploads ---------------------------------------------------------------------------------------

TEST_F(HttpClientTest, UploadProgressIsReportedUpToTheBodySize) {
    server.serve("/upload", Reply::text("stored"));
    // Large enough for curl to ask "Expect: 100-continue" first.
    QByteArray body(2 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char(i * 31 % 251);
    QList<std::pair<qint64, qint64>> reports;
    Request request = requestTo("/upload", "POST", body);
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
    EXPECT_EQ(server.requests().front().body, body);
}

// ---- Asynchronous requests and cancellation --------------------------------------------------------

TEST_F(HttpClientTest, CompletionsRunOnceOnAWorkerThreadAndCancellingEndsAHangPromptly) {
    server.serve("/x", Reply::text("async"));
    server.serve("/hang", Reply::hang());
    struct Completion {
        std::mutex mutex;
        std::optional<Response> response;
        std::thread::id thread;
        int calls = 0;
        Client::Completion handler() {
            return [this](Response received) {
                std::lock_guard lock(mutex);
                thread = std::this_thread::get_id();
                response = std::move(received);
                ++calls;
            };
        }
    } answered, cancelled;
    const auto task = client.start(requestTo("/x"), answered.handler());
    const auto hangingTask = client.start(hanging(), cancelled.handler());
    ASSERT_TRUE(testing_support::waitUntil([&] { return task->isFinished() && server.requestCount() == 2; }));
    const auto cancelledAt = Clock::now();
    hangingTask->cancel();
    ASSERT_TRUE(testing_support::waitUntil([&] { return hangingTask->isFinished(); }, 2000ms));
    EXPECT_LT(secondsSince(cancelledAt), 0.5);
    std::this_thread::sleep_for(50ms);
    for (Completion* completion : {&answered, &cancelled}) {
        std::lock_guard lock(completion->mutex);
        EXPECT_EQ(completion->calls, 1);
        ASSERT_TRUE(completion->response);
        EXPECT_NE(completion->thread, std::this_thread::get_id());
    }
    EXPECT_FALSE(answered.response->error);
    EXPECT_EQ(answered.response->body, "async");
    ASSERT_TRUE(cancelled.response->error);
    EXPECT_EQ(cancelled.response->error->code, int(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_EQ(cancelled.response->error->localizedDescription(), u"cancelled"_s);
}

TEST_F(HttpClientTest, SynchronousRequestCanBeCancelledFromAnotherThread) {
    CancellationToken token;
    // The server thread cancels as soon as the request is in, then never answers.
    server.route("/hang", [token](const LoopbackHttpServer::Request&) {
        token.cancel();
        return Reply::hang();
    });
    const Response response = client.perform(hanging(), token);
    ASSERT_TRUE(response.error);
    EXPECT_EQ(response.error->code, int(CURLE_ABORTED_BY_CALLBACK));
}

TEST_F(HttpClientTest, DestroyingTheClientCancelsEveryRequestAndRunsEachCompletionOnce) {
    server.serve("/hang", Reply::hang());
    auto owned = std::make_unique<Client>(2);
    std::atomic<int> calls{0};
    std::atomic<int> cancelled{0};
    QList<std::shared_ptr<platform::http::Task>> tasks;
    for (int i = 0; i < 3; ++i) { // the third waits for a free worker
        tasks.append(owned->start(hanging(), [&](Response response) {
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

// A request that failed before it reached a server (a name that does not resolve) left its
// pooled handle with a receive buffer curl would not resize, and every later request on that
// thread failed to be set up (the desktop program's feeds after its release-notes check).
TEST_F(HttpClientTest, AFailedRequestLeavesTheNextOnesOnItsThreadWorking) {
    server.serve("/x", Reply::text("fine"));
    for (const char* failing : {"https://host.invalid/notes", "http://host.invalid/notes"}) {
        SCOPED_TRACE(failing);
        const Response failed = client.perform(Request(QUrl(QString::fromLatin1(failing))));
        ASSERT_TRUE(failed.error);
        Request next = requestTo("/x");
        next.reusesConnection = true;
        const Response response = client.perform(next);
        ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
        EXPECT_EQ(response.body, "fine");
    }
}
