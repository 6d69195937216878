#pragma once

#include "rack/HandlerHttpServer.h"

#include <QHostAddress>
#include <QObject>
#include <functional>
#include <vector>

class DocumentHealth;

/// The health endpoint of a running `graflink-cli`: `GET /status` answers JSON with one object
/// per open document, `GET /metrics` the same figures in the Prometheus text format (version
/// 0.0.4). Reads the documents on the main thread, where it answers. Anything else: 404. The
/// answers name documents' paths and errors: beyond loopback, `graflink-cli run` sets a token.
class StatusServer : public QObject {
    Q_OBJECT
  public:
    /// `documents` is asked for the current list at every request.
    explicit StatusServer(std::function<std::vector<const DocumentHealth*>()> documents,
                          QObject* parent = nullptr);

    /// Listens; returns the port, or 0 with `error` set.
    quint16 listen(const QHostAddress& address, quint16 port, QString* error);
    /// Requests need "Authorization: Bearer TOKEN" (401 otherwise); empty: no token needed.
    void setBearerToken(const QByteArray& token) { m_server.setBearerToken(token); }

    QByteArray statusJson() const;
    QByteArray metricsText() const;

  private:
    HandlerHttpServer::Reply reply(const QString& path) const;

    std::function<std::vector<const DocumentHealth*>()> m_documents;
    HandlerHttpServer m_server;
};
