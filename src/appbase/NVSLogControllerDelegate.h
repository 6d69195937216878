#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

/// Receiver of the technical log's shown messages. Every operation is optional: the default
/// implementations report "not implemented" (nullopt / false), and the logger then behaves as if
/// the delegate lacked the operation.
///
/// `displayLogWithInfoDict` and `displayLogMessage` run on the logging thread while the logger
/// holds its delegate semaphore: they must not log from the same thread. `initialLogMessage`
/// and the write-failure report run on the logger's file queue.
class NVSLogControllerDelegate {
  public:
    virtual ~NVSLogControllerDelegate();

    /// Text written at the head of every new log file.
    virtual std::optional<QString> initialLogMessage();
    /// Returns false when not implemented.
    virtual bool displayLogWithInfoDict(const QVariantMap& infoDict);
    /// Used only when `displayLogWithInfoDict` is not implemented. Returns false when not
    /// implemented either.
    virtual bool displayLogMessage(const QString& message, qint64 logLevel);
};
