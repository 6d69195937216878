#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using testing_support::LoopbackHttpServer;
using testing_support::waitUntil;

namespace {

/// graflink-cli processes with settings and logs in a folder of their own.
class HealthEndpoint : public ::testing::Test {
  protected:
    void SetUp() override {
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    }
    void TearDown() override {
        if (run.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(run.processId()), SIGTERM);
        EXPECT_TRUE(run.waitForFinished(20000));
        EXPECT_EQ(run.exitCode(), 0) << "a clean stop on SIGTERM";
    }

    QProcess& start(QProcess& process, const QStringList& arguments) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
        return process;
    }
    int finished(const QStringList& arguments) {
        QProcess process;
        start(process, arguments).waitForFinished(30000);
        return process.exitCode();
    }
    QString newDocument(const char* name, const QUrl& feed) {
        const QString path = home.filePath(QStringLiteral("%1.graflink").arg(QLatin1String(name)));
        EXPECT_EQ(finished({QStringLiteral("new"), path, QStringLiteral("--source"), feed.toString(),
                            QStringLiteral("--auto-refresh"), QStringLiteral("1"), QStringLiteral("--var"),
                            QStringLiteral(R"({"XPath":"m/home","valueType":0})")}),
                  0);
        return path;
    }
    /// Starts `run ARGUMENTS` and waits until its output matches `ready`; the first capture group
    /// of the match that says where the status is served.
    QString startRun(const QStringList& arguments, const std::function<bool(const QByteArray&)>& ready) {
        start(run, arguments);
        QByteArray output;
        QString address;
        EXPECT_TRUE(waitUntil(
            [&] {
                run.waitForReadyRead(50);
                output += run.readAllStandardOutput();
                address = QRegularExpression(QStringLiteral("status on (http://[0-9.]+:\\d+)/"))
                              .match(QString::fromUtf8(output))
                              .captured(1);
                return !address.isEmpty() && ready(output);
            },
            std::chrono::seconds(20)))
            << output.toStdString();
        return address.replace(QStringLiteral("0.0.0.0"), QStringLiteral("127.0.0.1"));
    }
    /// A running good and failing document, each refreshed at least twice.
    QString runGoodAndBad() {
        feed.serve("/good.xml", LoopbackHttpServer::Reply::text("<m><home>3</home></m>", "application/xml"));
        feed.serve("/bad.xml", LoopbackHttpServer::Reply::text("down", "text/plain", 503));
        const QString good = newDocument("good", feed.url(QStringLiteral("/good.xml")));
        const QString bad = newDocument("bad", feed.url(QStringLiteral("/bad.xml")));
        return startRun(
            {QStringLiteral("run"), good, bad, QStringLiteral("--status-port"), QStringLiteral("0")},
            [](const QByteArray& output) {
                return output.count("\trefreshed: ") >= 2 && output.count("\tno feed") >= 2;
            });
    }
    static std::pair<int, QByteArray> get(const QString& url, const char* authorization = nullptr) {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(url)};
        if (authorization)
            request.setRawHeader("Authorization", authorization);
        QNetworkReply* reply = manager.get(request);
        waitUntil([&] { return reply->isFinished(); });
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return {status, body};
    }

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    LoopbackHttpServer feed;
    QProcess run;
};

TEST_F(HealthEndpoint, StatusGivesEachDocumentsRefreshesAndErrors) {
    const QString base = runGoodAndBad();
    const QJsonArray documents = QJsonDocument::fromJson(get(base + QStringLiteral("/status")).second)
                                     .object()
                                     .value(QStringLiteral("documents"))
                                     .toArray();
    ASSERT_EQ(documents.size(), 2);
    const QJsonObject good = documents.at(0).toObject(), bad = documents.at(1).toObject();
    EXPECT_EQ(good.value(QStringLiteral("name")).toString(), QStringLiteral("good"));
    EXPECT_FALSE(good.value(QStringLiteral("lastSuccessfulRefresh")).isNull());
    EXPECT_TRUE(good.value(QStringLiteral("lastError")).isNull());
    EXPECT_EQ(good.value(QStringLiteral("valueAgesSeconds")).toArray().size(), 1);
    EXPECT_TRUE(bad.value(QStringLiteral("lastSuccessfulRefresh")).isNull());
    EXPECT_FALSE(bad.value(QStringLiteral("lastError")).toString().isEmpty());
    EXPECT_GE(bad.value(QStringLiteral("failures")).toInt(), 2);
    EXPECT_FALSE(bad.value(QStringLiteral("publishing")).toBool());
    EXPECT_EQ(QString::fromUtf8(get(base + QStringLiteral("/other")).second).left(10),
              QStringLiteral("Not found:"));
}

// The metrics must parse with the Prometheus project's own text-format parser.
TEST_F(HealthEndpoint, MetricsAreValidPrometheusText) {
    const QByteArray metrics = get(runGoodAndBad() + QStringLiteral("/metrics")).second;
    QProcess parser;
    parser.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral(
                      "import sys\nfrom prometheus_client.parser import text_string_to_metric_families\n"
                      "for f in text_string_to_metric_families(sys.stdin.read()):\n"
                      "    for s in f.samples:\n"
                      "        print(s.name, s.labels.get('document'), s.labels.get('le', ''), s.value)\n")});
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
    environment.insert(QStringLiteral("GRAFLINK_STATUS_TOKEN"), QStringLiteral("s3cret-token"));
    environment.remove(QStringLiteral("UNSET_TOKEN"));
    const QString document = newDocument("show", QUrl(QStringLiteral("http://127.0.0.1:9/feed.xml")));
    const QStringList anyAddress{QStringLiteral("run"),
                                 document,
                                 QStringLiteral("--status-port"),
                                 QStringLiteral("0"),
                                 QStringLiteral("--status-address"),
                                 QStringLiteral("0.0.0.0"),
                                 QStringLiteral("--status-token-env")};
    for (const QStringList& refused :
         {anyAddress.mid(0, 6), anyAddress + QStringList{QStringLiteral("UNSET_TOKEN")}}) {
        QProcess process;
        ASSERT_TRUE(start(process, refused).waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_TRUE(process.readAllStandardError().contains("--status-token-env"))
            << refused.join(QLatin1Char(' ')).toStdString();
    }
    const QString base = startRun(anyAddress + QStringList{QStringLiteral("GRAFLINK_STATUS_TOKEN")},
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
        const auto [status, body] = get(base + QStringLiteral("/status"), r.authorization);
        EXPECT_EQ(status, r.status) << (r.authorization ? r.authorization : "(none)");
        EXPECT_EQ(body.contains(document.toUtf8()), r.status == 200);
    }
}

} // namespace
