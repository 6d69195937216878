#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QList>
#include <QPair>
#include <functional>

class QTcpServer;

/// A Qt HTTP Server that hands every request to one function: a method, a path and the request's
/// headers in, a status, a content type, headers and a body out. For small services on the main
/// thread.
class HandlerHttpServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    struct Request {
        QByteArray method; // upper case: GET, HEAD, POST, ...
        QString path;
        QString query; // without the '?'; empty when there is none
        const QHttpServerRequest& raw;
        /// A header's value (the name in any case); empty when absent.
        QByteArray header(const QByteArray& name) const;
        QHostAddress peer() const;
    };
    struct Reply {
        int status = 200;
        QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8");
        QByteArray body;
        Headers headers = {};
    };
    using Handler = std::function<Reply(const Request& request)>;

    explicit HandlerHttpServer(Handler handler, QObject* parent = nullptr);

    /// Listens (port 0: any free one); returns the port, or 0 with `error` set.
    quint16 listenOn(const QHostAddress& address, quint16 port, QString* error);
    /// Serves the connections `listener` (listening already) hands on, instead of a listener of
    /// its own.
    void serveFrom(QTcpServer* listener) { bind(listener); }
    /// Headers every response carries, those of the handler's replies and the server's own.
    void setCommonHeaders(Headers headers) { m_commonHeaders = std::move(headers); }
    /// Whether an Authorization header's value carries `token` (the scheme in any case); the
    /// comparison takes the same time wherever the tokens differ.
    static bool carriesBearerToken(const QByteArray& authorization, const QByteArray& token);
    /// The request method as it is written on the wire ("OTHER" for what Qt does not name).
    static QByteArray methodName(QHttpServerRequest::Method method);

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    void respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply, bool head);

    Handler m_handler;
    Headers m_commonHeaders;
};
