#pragma once

#include <QAbstractHttpServer>
#include <functional>

class CGSimRequestHandler;

/// Qt HTTP Server front for the request handler: every request goes to the handler; nothing
/// here knows the API.
class CGSimHttpServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    explicit CGSimHttpServer(CGSimRequestHandler& handler, QObject* parent = nullptr);

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    CGSimRequestHandler& m_handler;
};
