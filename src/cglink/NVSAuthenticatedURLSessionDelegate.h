#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class NVSAuthenticatedURLSession;

/// Receiver of one session's web-socket events. Events arrive on the session's own thread.
/// Optional operations report "not implemented" by default (nullopt / false), and the caller
/// then behaves as if the delegate lacked them.
class NVSAuthenticatedURLSessionDelegate {
  public:
    using Session = std::shared_ptr<NVSAuthenticatedURLSession>;

    virtual ~NVSAuthenticatedURLSessionDelegate();

    virtual void webSocketSessionDidOpen(const Session& session) = 0;
    virtual void webSocketSessionDidClose(const Session& session, qint64 closeCode) = 0;
    virtual void webSocketSessionDidReceiveDataMessage(const Session& session, const QByteArray& data) = 0;
    virtual void webSocketSessionDidReceiveStringMessage(const Session& session, const QString& message) = 0;
    /// `error` is empty for a completion without error.
    virtual void webSocketSessionDidCompleteWithError(const Session& session,
                                                      const std::optional<platform::Error>& error) = 0;

    virtual std::optional<QString> serverName();
    virtual std::optional<QString> instanceName();
    virtual std::optional<QString> hostNameAndPortNumber(const QString& separator);
    /// Returns false when not implemented.
    virtual bool logSimpleMessage(const QString& message);
};
