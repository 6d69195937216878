#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class NVSAuthenticatedURLSession;

/// Receiver of the events a session controller relays: called on the session's own thread.
/// A socket's end (close or completion) reaches this delegate once.
class NVSAuthenticatedURLSessionControllerDelegate {
  public:
    using Session = std::shared_ptr<NVSAuthenticatedURLSession>;

    virtual ~NVSAuthenticatedURLSessionControllerDelegate();

    virtual void webSocketSessionDidOpen(const Session& session) = 0;
    virtual void webSocketSessionDidClose(const Session& session, qint64 closeCode) = 0;
    virtual void webSocketSessionDidReceiveDataMessage(const Session& session, const QByteArray& data) = 0;
    virtual void webSocketSessionDidReceiveStringMessage(const Session& session, const QString& message) = 0;
    virtual void webSocketSessionDidCompleteWithError(const Session& session,
                                                      const std::optional<platform::Error>& error) = 0;

    virtual std::optional<QString> serverName();
    virtual std::optional<QString> instanceName();
    virtual std::optional<QString> hostNameAndPortNumber(const QString& separator);
};
