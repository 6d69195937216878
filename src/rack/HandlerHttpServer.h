#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <functional>

/// A Qt HTTP Server that hands every request to one function: a path and a method in, a status,
/// a content type and a body out. For small loopback services on the main thread.
class HandlerHttpServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    struct Reply {
        int status = 200;
        QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8");
        QByteArray body;
    };
    using Handler = std::function<Reply(const QByteArray& method, const QString& path)>;

    explicit HandlerHttpServer(Handler handler, QObject* parent = nullptr);

    /// Listens (port 0: any free one); returns the port, or 0 with `error` set.
    quint16 listenOn(const QHostAddress& address, quint16 port, QString* error);
    /// With a token, every request needs "Authorization: Bearer TOKEN" and is answered 401
    /// otherwise; the comparison takes the same time wherever the tokens differ. Empty: open.
    void setBearerToken(const QByteArray& token) { m_token = token; }
    /// Whether an Authorization header's value carries `token` (the scheme in any case).
    static bool carriesBearerToken(const QByteArray& authorization, const QByteArray& token);

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    Handler m_handler;
    QByteArray m_token;
};
