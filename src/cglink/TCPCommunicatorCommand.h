#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class TCPCommunicatorCommand;

/// The callback of a queued command: runs once, on the channel's thread, when the command's
/// response has arrived; it receives the command, whose `responseString` is then set.
using TCPCommunicatorResponseHandler = std::function<void(const TCPCommunicatorCommand&)>;

/// One command queued on a `TCPCommunicator`: the text to send, the response once it came, and
/// who is told. Copyable value; the channel owns the queued ones.
class TCPCommunicatorCommand {
  public:
    TCPCommunicatorCommand() = default;
    TCPCommunicatorCommand(QString commandString, QObject* sender,
                           TCPCommunicatorResponseHandler responseSelector);

    /// The exact text sent, terminator included (the channel adds nothing).
    const QString& commandString() const { return m_commandString; }
    void setCommandString(const QString& commandString) { m_commandString = commandString; }

    /// The response as text: ASCII as is, every byte above 0x7F as U+FFFD. Empty until it arrives.
    const QString& responseString() const { return m_responseString; }
    void setResponseString(const QString& responseString) { m_responseString = responseString; }

    /// The response's bytes exactly as read.
    const QByteArray& responseData() const { return m_responseData; }
    void setResponseData(const QByteArray& responseData) { m_responseData = responseData; }

    const TCPCommunicatorResponseHandler& responseSelector() const { return m_responseSelector; }
    void setResponseSelector(TCPCommunicatorResponseHandler responseSelector) {
        m_responseSelector = std::move(responseSelector);
    }

    /// Not owned. When a sender was given and has been destroyed by the time the response
    /// arrives, the callback is skipped (the response is still consumed).
    QObject* sender() const { return m_sender.data(); }
    bool hadSender() const { return m_hadSender; }
    void setSender(QObject* sender) {
        m_sender = sender;
        m_hadSender = sender != nullptr;
    }

  private:
    QString m_commandString;
    QString m_responseString;
    QByteArray m_responseData;
    TCPCommunicatorResponseHandler m_responseSelector;
    QPointer<QObject> m_sender;
    bool m_hadSender = false;
};
