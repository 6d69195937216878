#pragma once

#include "httpserver/HandlerHttpServer.h"
#include "rack/ControlActions.h"
#include "rack/ControlSnapshot.h"
#include "rack/LiveUpdates.h"
#include "rack/RequestGuard.h"

#include <QHostAddress>
#include <QObject>
#include <functional>
#include <vector>

class DocumentHealth;
class NVSLogController;
class UpgradeRouter;
struct UpgradeRequest;

/// The health endpoint and control page of a running `graflink-cli`: `GET /status` answers JSON
/// with one object per open document, `GET /metrics` the same figures in the Prometheus text
/// format (version 0.0.4), `/` the control page, whose web socket (`/live`) and actions
/// (`POST /documents/ID/ACTION`) see docs/rack.md. Answers on the main thread, where the
/// documents live, and never waits there.
///
/// With a token, /status and /metrics need "Authorization: Bearer TOKEN"; actions and the web
/// socket always need it (without one the page is read-only). Every request passes the
/// RequestGuard checks first.
class StatusServer : public QObject {
    Q_OBJECT
  public:
    using Documents = std::function<std::vector<DocumentHealth*>()>;

    /// `documents` is asked for the current list at every request; actions are logged to `logger`.
    StatusServer(Documents documents, NVSLogController& logger, QByteArray token = {},
                 QObject* parent = nullptr);
    ~StatusServer() override;

    /// Listens; returns the port, or 0 with `error` set.
    quint16 listen(const QHostAddress& address, quint16 port, QString* error);
    /// Documents were opened: the pages learn of them.
    void documentsChanged() { m_snapshot.documentsChanged(); }

    QByteArray statusJson() const;
    QByteArray metricsText() const;

  private:
    HandlerHttpServer::Reply reply(const HandlerHttpServer::Request& request) const;
    HandlerHttpServer::Reply action(const HandlerHttpServer::Request& request) const;
    void upgrade(QTcpSocket* socket, const UpgradeRequest& request);

    Documents m_documents;
    QByteArray m_token;
    RequestGuard m_guard{QHostAddress::LocalHost};
    ControlActions m_actions;
    ControlSnapshot m_snapshot;
    LiveUpdates m_live;
    HandlerHttpServer m_server;
    UpgradeRouter* m_router = nullptr; // a child
};
