#include "rack/HandlerHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>

HandlerHttpServer::HandlerHttpServer(Handler handler, QObject* parent)
    : QAbstractHttpServer(parent), m_handler(std::move(handler)) {}

quint16 HandlerHttpServer::listenOn(const QHostAddress& address, quint16 port, QString* error) {
    const quint16 bound = listen(address, port);
    if (bound == 0 && error) {
        const QList<QTcpServer*> listening = servers();
        *error = listening.isEmpty()
                     ? QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(port)
                     : listening.constLast()->errorString();
    }
    return bound;
}

bool HandlerHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    QByteArray method;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        method = QByteArrayLiteral("GET");
        break;
    case QHttpServerRequest::Method::Head:
        method = QByteArrayLiteral("HEAD");
        break;
    default:
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::MethodNotAllowed);
        return true;
    }
    const Reply reply = m_handler(method, request.url().path());
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(method == "HEAD" ? QByteArray() : reply.body, reply.contentType,
                    QHttpServerResponder::StatusCode(reply.status));
    return true;
}

void HandlerHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
