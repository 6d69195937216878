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

bool HandlerHttpServer::carriesBearerToken(const QByteArray& authorization, const QByteArray& token) {
    const QByteArray value = authorization.trimmed();
    const qsizetype space = value.indexOf(' ');
    if (token.isEmpty() || space < 0 || value.left(space).toLower() != "bearer")
        return false;
    const QByteArray given = value.mid(space + 1).trimmed();
    // Every byte of the expected token is compared whatever the given one holds, so the time
    // taken tells nothing about how much of a guess was right.
    unsigned difference = given.size() == token.size() ? 0u : 1u;
    for (qsizetype i = 0; i < token.size(); ++i)
        difference |= uchar(token[i]) ^ uchar(i < given.size() ? given[i] : 0);
    return difference == 0;
}

bool HandlerHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (!m_token.isEmpty() && !carriesBearerToken(request.value("Authorization"), m_token)) {
        makeResponder(request, socket)
            .write(QByteArrayLiteral("A bearer token is needed (Authorization: Bearer TOKEN).\n"),
                   {{"Content-Type", "text/plain; charset=utf-8"}, {"WWW-Authenticate", "Bearer"}},
                   QHttpServerResponder::StatusCode::Unauthorized);
        return true;
    }
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
