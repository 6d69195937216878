#include "platform/HttpClient.h"
#include "testkit/CliProcess.h"
#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using testing_support::LoopbackHttpServer;

namespace {

/// Documents made with graflink-cli and a `graflink-cli run` of them that serves its status.
class HealthEndpoint : public ::testing::Test {
  protected:
    void TearDown() override {
        if (run) {
            EXPECT_EQ(run->terminate(), 0) << "a clean stop on SIGTERM";
        }
    }

    QString newDocument(const char* name, const QUrl& feedURL) {
        const QString path = home.filePath(u"%1.graflink"_s.arg(QLatin1String(name)));
        EXPECT_EQ(testing_support::runCliProcess({u"new"_s, path, u"--source"_s, feedURL.toString(),
                                                  u"--auto-refresh"_s, u"1"_s, u"--var"_s,
                                                  uR"({"XPath":"m/home","valueType":0})"_s})
                      .status,
                  0);
        return path;
    }
    /// Starts `run ARGUMENTS` and waits until its output matches `ready`; the first capture group
    /// of the match that says where the status is served.
    QString startRun(const QStringList& arguments, const std::function<bool(const QByteArray&)>& ready) {
        run.emplace(arguments, environment);
        QString address;
        EXPECT_TRUE(run->waitFor([&] {
            address = QRegularExpression(u"status on (http://[0-9.]+:\\d+)/"_s).match(run->out).captured(1);
            return !address.isEmpty() && ready(run->out.toUtf8());
        })) << run->out.toStdString();
        return address.replace(u"0.0.0.0"_s, u"127.0.0.1"_s);
    }
    static std::pair<int, QByteArray> get(const QString& url, const char* authorization = nullptr) {
        platform::http::Request request{QUrl(url)};
        if (authorization)
            request.headers.append("Authorization", authorization);
        const platform::http::Response response = platform::http::Client().perform(request);
        return {response.statusCode, response.body};
    }

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    LoopbackHttpServer feed;
    std::optional<testing_support::RunningCli> run;
};

// A good and a failing document, each refreshed at least twice.
TEST_F(HealthEndpoint, StatusAndMetricsGiveEachDocumentsRefreshesAndErrors) {
    feed.serve("/good.xml", LoopbackHttpServer::Reply::text("<m><home>3</home></m>", "application/xml"));
    feed.serve("/bad.xml", LoopbackHttpServer::Reply::text("down", "text/plain", 503));
    const QStringList arguments{u"run"_s, newDocument("good", feed.url(u"/good.xml"_s)),
                                newDocument("bad", feed.url(u"/bad.xml"_s)), u"--status-port"_s, u"0"_s};
    const QString base = startRun(arguments, [](const QByteArray& output) {
        return output.count("\trefreshed: ") >= 2 && output.count("\tno feed") >= 2;
    });
    const QJsonArray documents =
        QJsonDocument::fromJson(get(base + u"/status"_s).second).object().value(u"documents"_s).toArray();
    ASSERT_EQ(documents.size(), 2);
    const QJsonObject good = documents.at(0).toObject(), bad = documents.at(1).toObject();
    EXPECT_EQ(good.value(u"name"_s).toString(), u"good"_s);
    EXPECT_FALSE(good.value(u"lastSuccessfulRefresh"_s).isNull());
    EXPECT_TRUE(good.value(u"lastError"_s).isNull());
    EXPECT_EQ(good.value(u"valueAgesSeconds"_s).toArray().size(), 1);
    EXPECT_TRUE(bad.value(u"lastSuccessfulRefresh"_s).isNull());
    EXPECT_FALSE(bad.value(u"lastError"_s).toString().isEmpty());
    EXPECT_GE(bad.value(u"failures"_s).toInt(), 2);
    EXPECT_FALSE(bad.value(u"publishing"_s).toBool());
    EXPECT_EQ(QString::fromUtf8(get(base + u"/other"_s).second).left(10), u"Not found:"_s);

    // The metrics must parse with the Prometheus project's own text-format parser.
    const QByteArray metrics = get(base + u"/metrics"_s).second;
    QProcess parser;
    parser.start(u"/usr/bin/python3"_s,
                 {u"-c"_s,
                  u"import sys\nfrom prometheus_client.parser import text_string_to_metric_families\n"
                  "for f in text_string_to_metric_families(sys.stdin.read()):\n"
                  "    for s in f.samples:\n"
                  "        print(s.name, s.labels.get('document'), s.labels.get('le', ''), s.value)\n"_s});
    parser.write(metrics);
    parser.closeWriteChannel();
    ASSERT_TRUE(parser.waitForFinished(30000));
    const QString parsed = QString::fromUtf8(parser.readAllStandardOutput());
    ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString() << metrics.toStdString();
    for (const char* sample :
         {"graflink_refreshes_total good  [1-9]", "graflink_refresh_failures_total bad  [1-9]",
          "graflink_refresh_failures_total good  0\\.0",
          "graflink_refresh_duration_seconds_bucket good \\+Inf"})
        EXPECT_TRUE(parsed.contains(QRegularExpression(QString::fromLatin1(sample))))
            << sample << parsed.toStdString();
}

// Fault guarded: `--status-address 0.0.0.0` served documents' paths and error texts to anyone on
// the network. Beyond loopback a token is required, and requests without it are refused.
TEST_F(HealthEndpoint, BeyondLoopbackOnlyWithABearerToken) {
    environment.insert(u"GRAFLINK_STATUS_TOKEN"_s, u"s3cret-token"_s);
    environment.remove(u"UNSET_TOKEN"_s);
    const QString document = newDocument("show", QUrl(u"http://127.0.0.1:9/feed.xml"_s));
    const QStringList anyAddress =
        QStringList{u"run"_s, document} +
        testing_support::words(u"--status-port 0 --status-address 0.0.0.0 --status-token-env"_s);
    for (const QStringList& refused : {anyAddress.mid(0, 6), anyAddress + QStringList{u"UNSET_TOKEN"_s}}) {
        const testing_support::CliRun answer = testing_support::runCliProcess(refused, environment);
        EXPECT_EQ(answer.status, 2);
        EXPECT_TRUE(answer.err.contains(u"--status-token-env"_s))
            << refused.join(QLatin1Char(' ')).toStdString();
    }
    const QString base = startRun(anyAddress + QStringList{u"GRAFLINK_STATUS_TOKEN"_s},
                                  [](const QByteArray&) { return true; });
    const struct {
        const char* authorization; // nullptr: no header
        int status;
    } requests[] = {{nullptr, 401},
                    {"Bearer wrong-token!", 401},
                    {"Bearer s3cret-toke", 401},
                    {"Basic s3cret-token", 401},
                    {"Bearer s3cret-token", 200},
                    {"bearer  s3cret-token ", 200}};
    for (const auto& r : requests) {
        const auto [status, body] = get(base + u"/status"_s, r.authorization);
        EXPECT_EQ(status, r.status) << (r.authorization ? r.authorization : "(none)");
        EXPECT_EQ(body.contains(document.toUtf8()), r.status == 200);
    }
}

} // namespace
