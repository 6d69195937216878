#include "testkit/LoopbackHttpServer.h"
#include "testkit/TestHelpers.h"

#include <QDir>
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

QByteArray get(const QString& url) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
    waitUntil([&] { return reply->isFinished(); });
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

} // namespace

// A running graflink-cli with one healthy and one failing document answers /status and /metrics;
// the metrics parse with the Prometheus project's own text-format parser.
TEST(HealthEndpoint, ReportsEachDocumentAsJsonAndPrometheusText) {
    QTemporaryDir home;
    LoopbackHttpServer feed;
    feed.serve("/good.xml", LoopbackHttpServer::Reply::text("<m><home>3</home></m>", "application/xml"));
    feed.serve("/bad.xml", LoopbackHttpServer::Reply::text("down", "text/plain", 503));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    const auto cli = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
        process.waitForFinished(30000);
        return process.exitCode();
    };
    for (const char* name : {"good", "bad"}) {
        ASSERT_EQ(
            cli({QStringLiteral("new"), home.filePath(QStringLiteral("%1.graflink").arg(QLatin1String(name))),
                 QStringLiteral("--source"),
                 feed.url(QStringLiteral("/%1.xml").arg(QLatin1String(name))).toString(),
                 QStringLiteral("--auto-refresh"), QStringLiteral("1"), QStringLiteral("--var"),
                 QStringLiteral(R"({"XPath":"m/home","valueType":0})")}),
            0);
    }
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral(GRAFLINK_CLI_PATH),
              {QStringLiteral("run"), home.filePath(QStringLiteral("good.graflink")),
               home.filePath(QStringLiteral("bad.graflink")), QStringLiteral("--status-port"),
               QStringLiteral("0")});
    QByteArray output;
    QString base;
    ASSERT_TRUE(waitUntil(
        [&] {
            run.waitForReadyRead(50);
            output += run.readAllStandardOutput();
            const QRegularExpressionMatch match =
                QRegularExpression(QStringLiteral("status on (http://127\\.0\\.0\\.1:\\d+)/"))
                    .match(QString::fromUtf8(output));
            if (match.hasMatch())
                base = match.captured(1);
            return !base.isEmpty() && output.count("\trefreshed: ") >= 2 && output.count("\tno feed") >= 2;
        },
        std::chrono::seconds(20)))
        << output.toStdString();

    const QJsonArray documents = QJsonDocument::fromJson(get(base + QStringLiteral("/status")))
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

    const QByteArray metrics = get(base + QStringLiteral("/metrics"));
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
    EXPECT_TRUE(parsed.contains(QRegularExpression(QStringLiteral("graflink_refreshes_total good  [1-9]"))))
        << parsed.toStdString();
    EXPECT_TRUE(
        parsed.contains(QRegularExpression(QStringLiteral("graflink_refresh_failures_total bad  [1-9]"))));
    EXPECT_TRUE(parsed.contains(QStringLiteral("graflink_refresh_failures_total good  0.0")));
    EXPECT_TRUE(parsed.contains(QStringLiteral("graflink_refresh_duration_seconds_bucket good +Inf")));
    EXPECT_EQ(QString::fromUtf8(get(base + QStringLiteral("/other"))).left(10), QStringLiteral("Not found:"));

    ::kill(pid_t(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(20000));
    EXPECT_EQ(run.exitCode(), 0);
}

// Fault guarded: `--status-address 0.0.0.0` served documents' paths and error texts to anyone on
// the network. Beyond loopback a token is required, and requests without it are refused.
TEST(HealthEndpoint, BeyondLoopbackOnlyWithABearerToken) {
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    environment.insert(QStringLiteral("GRAFLINK_STATUS_TOKEN"), QStringLiteral("s3cret-token"));
    environment.remove(QStringLiteral("UNSET_TOKEN"));
    const QString document = home.filePath(QStringLiteral("show.graflink"));
    const auto start = [&](QProcess& process, const QStringList& arguments) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GRAFLINK_CLI_PATH), arguments);
    };
    {
        QProcess made;
        start(made, {QStringLiteral("new"), document, QStringLiteral("--source"),
                     QStringLiteral("http://127.0.0.1:9/feed.xml")});
        ASSERT_TRUE(made.waitForFinished(30000));
        ASSERT_EQ(made.exitCode(), 0);
    }
    const QStringList anyAddress{QStringLiteral("run"),
                                 document,
                                 QStringLiteral("--status-port"),
                                 QStringLiteral("0"),
                                 QStringLiteral("--status-address"),
                                 QStringLiteral("0.0.0.0")};
    for (const QStringList& refused :
         {anyAddress,
          anyAddress + QStringList{QStringLiteral("--status-token-env"), QStringLiteral("UNSET_TOKEN")}}) {
        QProcess run;
        start(run, refused);
        ASSERT_TRUE(run.waitForFinished(30000));
        EXPECT_EQ(run.exitCode(), 2);
        EXPECT_TRUE(run.readAllStandardError().contains("--status-token-env"))
            << refused.join(QLatin1Char(' ')).toStdString();
    }

    QProcess run;
    start(run, anyAddress + QStringList{QStringLiteral("--status-token-env"),
                                        QStringLiteral("GRAFLINK_STATUS_TOKEN")});
    QByteArray output;
    QString port;
    ASSERT_TRUE(waitUntil(
        [&] {
            run.waitForReadyRead(50);
            output += run.readAllStandardOutput();
            port = QRegularExpression(QStringLiteral("status on http://0\\.0\\.0\\.0:(\\d+)/"))
                       .match(QString::fromUtf8(output))
                       .captured(1);
            return !port.isEmpty();
        },
        std::chrono::seconds(20)))
        << output.toStdString();
    const struct {
        const char* authorization; // nullptr: no header
        int status;
    } requests[] = {{nullptr, 401},
                    {"Bearer wrong-token!", 401},
                    {"Bearer s3cret-toke", 401},
                    {"Basic s3cret-token", 401},
                    {"Bearer s3cret-token", 200},
                    {"bearer  s3cret-token ", 200}};
    QNetworkAccessManager manager;
    for (const auto& r : requests) {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/status").arg(port)));
        if (r.authorization)
            request.setRawHeader("Authorization", r.authorization);
        QNetworkReply* reply = manager.get(request);
        ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }));
        EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), r.status)
            << (r.authorization ? r.authorization : "(none)");
        EXPECT_EQ(reply->readAll().contains(document.toUtf8()), r.status == 200);
        reply->deleteLater();
    }
    ::kill(pid_t(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(20000));
    EXPECT_EQ(run.exitCode(), 0);
}
