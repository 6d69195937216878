#include "httpserver/HandlerHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>

QByteArray HandlerHttpServer::methodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QByteArrayLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QByteArrayLiteral("HEAD");
    case QHttpServerRequest::Method::Post:
        return QByteArrayLiteral("POST");
    case QHttpServerRequest::Method::Put:
        return QByteArrayLiteral("PUT");
    case QHttpServerRequest::Method::Delete:
        return QByteArrayLiteral("DELETE");
    case QHttpServerRequest::Method::Options:
        return QByteArrayLiteral("OPTIONS");
    case QHttpServerRequest::Method::Patch:
        return QByteArrayLiteral("PATCH");
    default:
        return QByteArrayLiteral("OTHER");
    }
}

QByteArray HandlerHttpServer::Request::header(const QByteArray& name) const {
    return raw.value(name);
}

QHostAddress HandlerHttpServer::Request::peer() const {
    return raw.remoteAddress();
}

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
    const QUrl url = request.url();
    const Request asked{methodName(request.method()), url.path(), url.query(QUrl::FullyEncoded), request};
    respond(request, socket, m_handler(asked), asked.method == "HEAD");
    return true;
}

void HandlerHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    respond(request, socket,
            {404, QByteArrayLiteral("text/plain; charset=utf-8"), QByteArrayLiteral("Not found\n")}, false);
}

void HandlerHttpServer::respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply,
                                bool head) {
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    for (const auto& [name, value] : m_commonHeaders)
        responder.writeHeader(name, value);
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    const QByteArray body = head ? QByteArray() : reply.body;
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
    responder.writeBody(body);
}
