#include "rack/StatusServer.h"

#include "app/FeedFreshness.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "platform/Json.h"
#include "rack/DocumentHealth.h"

#include <nlohmann/json.hpp>

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

// A label value as the text format wants it: backslash, double quote and line feed escaped.
QByteArray labelValue(const QString& text) {
    QByteArray value = text.toUtf8();
    value.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return value;
}

QByteArray number(double value) {
    return QByteArray::number(value, 'g', 17);
}

} // namespace

StatusServer::StatusServer(std::function<std::vector<const DocumentHealth*>()> documents, QObject* parent)
    : QObject(parent), m_documents(std::move(documents)),
      m_server([this](const QByteArray&, const QString& path) { return reply(path); }) {}

quint16 StatusServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    return m_server.listenOn(address, port, error);
}

HandlerHttpServer::Reply StatusServer::reply(const QString& path) const {
    if (path == QLatin1String("/status"))
        return {200, QByteArrayLiteral("application/json"), statusJson()};
    if (path == QLatin1String("/metrics"))
        return {200, QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"), metricsText()};
    return {404, QByteArrayLiteral("text/plain; charset=utf-8"),
            QByteArrayLiteral("Not found: /status or /metrics\n")};
}

QByteArray StatusServer::statusJson() const {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    const platform::MonotonicClock::TimePoint now = platform::MonotonicClock::now();
    for (const DocumentHealth* health : m_documents()) {
        nlohmann::ordered_json entry{{"name", utf8(health->name())},
                                     {"path", utf8(health->path())},
                                     {"type", utf8(health->kind())},
                                     {"refreshes", health->refreshes()},
                                     {"failures", health->failures()}};
        entry["lastSuccessfulRefresh"] =
            health->lastSuccess().isValid()
                ? nlohmann::ordered_json(utf8(health->lastSuccess().toString(Qt::ISODateWithMs)))
                : nlohmann::ordered_json(nullptr);
        entry["lastError"] = health->lastError().isEmpty()
                                 ? nlohmann::ordered_json(nullptr)
                                 : nlohmann::ordered_json(utf8(health->lastError()));
        if (const GraflinkDocument* document = health->graflinkDocument()) {
            entry["connected"] = document->isConnectedToCG();
            entry["publishing"] = document->publishToCG();
            entry["stale"] = document->freshness().isStale();
            nlohmann::ordered_json ages = nlohmann::ordered_json::array();
            for (const GraflinkVariable* variable : document->variables().variables()) {
                const std::optional<qint64> age = variable->valueAgeSeconds(now);
                ages.push_back(age ? nlohmann::ordered_json(*age) : nlohmann::ordered_json(nullptr));
            }
            entry["valueAgesSeconds"] = std::move(ages);
            entry["updatesSent"] = document->updatesSent();
            entry["updateErrors"] = document->updateErrors();
        }
        list.push_back(std::move(entry));
    }
    return platform::toJsonBytes(nlohmann::ordered_json{{"documents", std::move(list)}}, true) + '\n';
}

QByteArray StatusServer::metricsText() const {
    const std::vector<const DocumentHealth*> documents = m_documents();
    QByteArray text;
    const auto family = [&](const char* name, const char* type, const char* help,
                            const std::function<void(const DocumentHealth&, const QByteArray&)>& samples) {
        text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
        for (const DocumentHealth* health : documents)
            samples(*health, "document=\"" + labelValue(health->name()) + "\",type=\"" +
                                 health->kind().toUtf8() + '"');
    };
    const auto counter = [&](const char* name, const char* help,
                             const std::function<quint64(const DocumentHealth&)>& value) {
        family(name, "counter", help, [&](const DocumentHealth& health, const QByteArray& labels) {
            text += QByteArray(name) + '{' + labels + "} " + QByteArray::number(value(health)) + '\n';
        });
    };
    counter("graflink_refreshes_total", "Refreshes that ended, delivered or not.",
            [](const DocumentHealth& h) { return h.refreshes(); });
    counter("graflink_refresh_failures_total", "Refreshes that delivered no feed.",
            [](const DocumentHealth& h) { return h.failures(); });
    counter("graflink_updates_sent_total", "Field updates the CG server accepted.",
            [](const DocumentHealth& h) {
                return h.graflinkDocument() ? h.graflinkDocument()->updatesSent() : quint64(0);
            });
    counter("graflink_update_errors_total", "Field updates that failed or were refused.",
            [](const DocumentHealth& h) {
                return h.graflinkDocument() ? h.graflinkDocument()->updateErrors() : quint64(0);
            });
    family("graflink_refresh_duration_seconds", "histogram",
           "How long refreshes took, from fetch to evaluation.",
           [&](const DocumentHealth& health, const QByteArray& labels) {
               const QByteArray name("graflink_refresh_duration_seconds");
               quint64 cumulative = 0;
               for (std::size_t b = 0; b < health.durationCounts().size(); ++b) {
                   cumulative += health.durationCounts()[b];
                   const QByteArray bound = b < DocumentHealth::DurationBuckets.size()
                                                ? number(DocumentHealth::DurationBuckets[b])
                                                : "+Inf";
                   text += name + "_bucket{" + labels + ",le=\"" + bound + "\"} " +
                           QByteArray::number(cumulative) + '\n';
               }
               text += name + "_sum{" + labels + "} " + number(health.durationSum()) + '\n';
               text += name + "_count{" + labels + "} " + QByteArray::number(cumulative) + '\n';
           });
    return text;
}
