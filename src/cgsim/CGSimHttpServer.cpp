#include "cgsim/CGSimHttpServer.h"

#include "cgsim/CGSimRequestHandler.h"
#include "httpserver/HandlerHttpServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QThread>

CGSimHttpServer::CGSimHttpServer(CGSimRequestHandler& handler, QObject* parent)
    : QAbstractHttpServer(parent), m_handler(handler) {}

bool CGSimHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (const auto delay = m_handler.responseDelay(); delay.count() > 0)
        QThread::msleep(static_cast<unsigned long>(delay.count()));
    const QUrl url = request.url();
    const CGSimRequestHandler::Reply reply = m_handler.handle(
        HandlerHttpServer::methodName(request.method()), url.path(QUrl::FullyEncoded).toUtf8(),
        url.query(QUrl::FullyEncoded).toUtf8(), request.body());
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(reply.body, reply.contentType, QHttpServerResponder::StatusCode(reply.status));
    return true;
}

void CGSimHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
