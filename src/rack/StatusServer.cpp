#include "rack/StatusServer.h"

#include "app/FeedFreshness.h"
#include "app/GraflinkDocument.h"
#include "app/GraflinkVariable.h"
#include "app/GraflinkVariableList.h"
#include "httpserver/UpgradeRouter.h"
#include "platform/Json.h"
#include "rack/ControlPage.h"
#include "rack/DocumentHealth.h"

#include <QTcpSocket>
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

HandlerHttpServer::Reply text(int status, const char* message) {
    return {status, QByteArrayLiteral("text/plain; charset=utf-8"), QByteArray(message) + '\n'};
}

HandlerHttpServer::Reply withAllow(HandlerHttpServer::Reply reply, const char* methods) {
    reply.headers.append({QByteArrayLiteral("Allow"), QByteArray(methods)});
    return reply;
}

HandlerHttpServer::Reply withAuthenticate(HandlerHttpServer::Reply reply) {
    reply.headers.append({QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Bearer")});
    return reply;
}

} // namespace

// Outside any namespace, as Qt wants it.
static void initControlPageResources() {
    Q_INIT_RESOURCE(controlpage);
}

StatusServer::StatusServer(Documents documents, NVSLogController& logger, QByteArray token, QObject* parent)
    : QObject(parent), m_documents(std::move(documents)), m_token(std::move(token)),
      m_actions(m_documents, logger), m_snapshot(m_documents), m_live(m_token, m_snapshot),
      m_server([this](const HandlerHttpServer::Request& request) { return reply(request); }) {
    initControlPageResources();
    m_server.setCommonHeaders(RequestGuard::responseHeaders());
    m_router = new UpgradeRouter(
        [this](QTcpSocket* socket, const UpgradeRequest& request) { upgrade(socket, request); }, this);
}

StatusServer::~StatusServer() = default;

quint16 StatusServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (!m_router->listen(address, port)) {
        if (error)
            *error = m_router->errorString();
        return 0;
    }
    m_guard = RequestGuard(address);
    m_server.serveFrom(m_router);
    return m_router->serverPort();
}

HandlerHttpServer::Reply StatusServer::reply(const HandlerHttpServer::Request& request) const {
    if (!m_guard.hostAllowed(request.header("Host")))
        return text(403,
                    "Refused: this server answers only to its own address (the Host header named another).");
    // Addresses end up in logs and histories: a token in one is refused, and never written anywhere.
    if (RequestGuard::queryCarriesToken(request.query, m_token))
        return text(400, "Refused: send the token in an \"Authorization: Bearer TOKEN\" header, never in the "
                         "address.");
    if (ControlActions::isActionPath(request.path))
        return action(request);
    const bool reading = request.method == "GET" || request.method == "HEAD";
    if (auto file = ControlPage::file(request.path)) {
        if (reading)
            return *file;
        return withAllow(text(405, "Method not allowed."), "GET, HEAD");
    }
    if (!m_token.isEmpty() &&
        !HandlerHttpServer::carriesBearerToken(request.header("Authorization"), m_token))
        return withAuthenticate(text(401, "A bearer token is needed (Authorization: Bearer TOKEN)."));
    if (!reading)
        return withAllow({405, QByteArrayLiteral("text/plain; charset=utf-8"), {}}, "GET, HEAD");
    if (request.path == QLatin1String("/status"))
        return {200, QByteArrayLiteral("application/json"), statusJson()};
    if (request.path == QLatin1String("/metrics"))
        return {200, QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"), metricsText()};
    return {404, QByteArrayLiteral("text/plain; charset=utf-8"),
            QByteArrayLiteral("Not found: /status or /metrics\n")};
}

HandlerHttpServer::Reply StatusServer::action(const HandlerHttpServer::Request& request) const {
    if (request.method != "POST")
        return withAllow(text(405, "Actions are POST requests."), "POST");
    // A page of another site may post here (a form needs no permission); its Origin gives it away.
    const QByteArray origin = request.header("Origin");
    if (!origin.isEmpty() && !RequestGuard::sameOrigin(origin, request.header("Host")))
        return text(403, "Refused: the request comes from a page of another site.");
    if (m_token.isEmpty())
        return text(403, "Control is off: start graflink-cli run with --status-token-env VAR to enable the "
                         "page's buttons.");
    if (!HandlerHttpServer::carriesBearerToken(request.header("Authorization"), m_token))
        return withAuthenticate(text(401,
                                     "Wrong or missing token: actions need \"Authorization: Bearer TOKEN\", "
                                     "TOKEN being the value of the variable --status-token-env names."));
    return m_actions.perform(request.path, request.peer());
}

void StatusServer::upgrade(QTcpSocket* socket, const UpgradeRequest& request) {
    const QByteArray target = request.target;
    const qsizetype question = target.indexOf('?');
    const QByteArray path = question < 0 ? target : target.left(question);
    const QString query = question < 0 ? QString() : QString::fromUtf8(target.mid(question + 1));
    const char* refusal = nullptr;
    if (path != "/live")
        refusal = "404 Not Found";
    else if (!m_guard.hostAllowed(request.host) || !RequestGuard::sameOrigin(request.origin, request.host))
        refusal = "403 Forbidden";
    else if (RequestGuard::queryCarriesToken(query, m_token))
        refusal = "400 Bad Request";
    if (!refusal) {
        m_live.accept(socket);
        return;
    }
    QByteArray answer = QByteArray("HTTP/1.1 ") + refusal + "\r\n";
    for (const auto& [name, value] : RequestGuard::responseHeaders())
        answer += name + ": " + value + "\r\n";
    answer += "Content-Length: 0\r\nConnection: close\r\n\r\n";
    socket->write(answer);
    socket->disconnectFromHost();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
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
    const std::vector<DocumentHealth*> documents = m_documents();
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
