#include "app/DocumentCGLink.h"

#include "app/GraflinkVariable.h"

DocumentCGLink::DocumentCGLink(QObject* parent) : QObject(parent) {}

DocumentCGLink::~DocumentCGLink() {
    release();
}

void DocumentCGLink::connectTo(const QString& address, quint64 port, qint32 type, const QString& password,
                               const CGServerHTTPControllerOptions& options) {
    release();
    if (address.trimmed().isEmpty()) {
        Q_EMIT connectedChanged(false);
        return;
    }
    m_client = std::make_unique<CGServerHTTPController>(address, port, type, password, options);
    m_clientConnections.append(connect(m_client.get(), &CGServerHTTPController::projectsChanged, this,
                                       &DocumentCGLink::projectsChanged));
    m_clientConnections.append(connect(m_client.get(), &CGServerHTTPController::isConnectedChanged, this,
                                       &DocumentCGLink::connectedChanged));
    // The new client has no list yet: the variables' field lists empty now and follow the list
    // when it arrives.
    Q_EMIT projectsChanged();
    Q_EMIT connectedChanged(m_client->isConnected());
}

void DocumentCGLink::release() {
    if (!m_client)
        return;
    m_retiredUpdatesSent += m_client->updatesAccepted();
    m_retiredUpdateErrors += m_client->updatesFailed();
    for (const QMetaObject::Connection& connection : std::as_const(m_clientConnections))
        disconnect(connection);
    m_clientConnections.clear();
    m_client->closeWebSockets();
    m_client.reset();
}

CGProjectList DocumentCGLink::projects() const {
    return m_client ? m_client->projects() : CGProjectList();
}

std::shared_ptr<CGProject> DocumentCGLink::projectWithName(const QString& name) const {
    return m_client ? m_client->projectWithName(name) : nullptr;
}

quint64 DocumentCGLink::updatesSent() const {
    return m_retiredUpdatesSent + (m_client ? m_client->updatesAccepted() : 0);
}

quint64 DocumentCGLink::updateErrors() const {
    return m_retiredUpdateErrors + (m_client ? m_client->updatesFailed() : 0);
}

void DocumentCGLink::publish(CGPublishingPass pass, bool changesOnly, double fullPassSeconds) {
    if (!m_client)
        return;
    bool full = true;
    if (changesOnly) {
        const platform::MonotonicClock::TimePoint now = platform::MonotonicClock::now();
        full = !m_lastFullPass || now - *m_lastFullPass >= std::chrono::duration<double>(fullPassSeconds);
        if (full)
            m_lastFullPass = now;
    }
    // The client sends the pass on its own worker, looking each item up when it gets there; a
    // pass still waiting behind a slow server is replaced by this newer one.
    m_client->publish(std::move(pass), full ? CGServerHTTPController::PassKind::Full
                                            : CGServerHTTPController::PassKind::ChangesOnly);
}

void DocumentCGLink::publishAll(CGPublishingPass pass) {
    if (m_client)
        m_client->publish(std::move(pass), CGServerHTTPController::PassKind::Full);
}

CGPublishingPass DocumentCGLink::passOf(const QList<GraflinkVariable*>& variables) {
    CGPublishingPass pass;
    for (const GraflinkVariable* variable : variables) {
        const std::optional<platform::JsonValue> published = variable->publishedValue();
        if (published && variable->CGProjectName() && variable->CGProjectItemName())
            pass.append({*variable->CGProjectName(), *variable->CGProjectItemName(), *published,
                         variable->valueType() == GraflinkVariable::HTML});
    }
    return pass;
}

CGPublishingPass DocumentCGLink::blankPassOf(const QList<GraflinkVariable*>& variables) {
    CGPublishingPass pass;
    for (const GraflinkVariable* variable : variables) {
        if (variable->CGProjectName() && variable->CGProjectItemName())
            pass.append(
                {*variable->CGProjectName(), *variable->CGProjectItemName(), platform::JsonValue(""), false});
    }
    return pass;
}
