#pragma once

#include "cglink/TCPCommunicatorCommand.h"
#include "platform/Error.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <memory>
#include <type_traits>

class QTcpSocket;

/// A request/response channel over one TCP connection. Callers queue text commands; the channel
/// sends them one at a time and hands each response (one read of at most 2048 bytes, see
/// TCPCommunicatorWire) to the oldest outstanding command's callback. No framing, no time-out.
///
/// Thread affinity: lives on the thread that creates it and is driven by that thread's event
/// loop; queue commands and close the channel from that thread only. Callbacks run there too
/// and may queue commands, close the channel or destroy it.
class TCPCommunicator : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint32 status READ status NOTIFY statusChanged)
  public:
    enum Status : qint32 { Closed = 0, Ready = 1, Opening = 2, AwaitingResponse = 3 };

    static inline const QString ErrorDomain = QStringLiteral("TCPCommunicator");
    enum ErrorCode { NoHostError = 1, NotASCIIError = 2, InvalidAddressError = 3 };

    explicit TCPCommunicator(QObject* parent = nullptr);
    ~TCPCommunicator() override;

    /// Remembers host and port and starts connecting (status opening). A connection still open
    /// is closed first, dropping its queue. An empty host or a port outside 1–65535 is refused
    /// with an error and changes nothing.
    bool openConnectionToHost(const QString& hostName, qint32 portNumber, platform::Error* error = nullptr);

    /// Queues `commandString` (sent exactly as given) and sends it when the channel is ready.
    /// A closed channel first reconnects to the remembered host and port. `responseSelector` runs
    /// with the command when its response arrives; `sender` (may be null) is not owned: when it
    /// is given and destroyed before the response, the callback is skipped.
    /// Refused with an error, leaving the channel as it was, when the command holds a character
    /// outside ASCII or the channel is closed and no host was ever given.
    bool sendCommand(const QString& commandString, QObject* sender,
                     TCPCommunicatorResponseHandler responseSelector, platform::Error* error = nullptr);

    /// The same with a member function of `sender` as the callback.
    template <typename Sender>
    bool sendCommand(const QString& commandString, Sender* sender,
                     void (Sender::*responseSelector)(const TCPCommunicatorCommand&),
                     platform::Error* error = nullptr) {
        static_assert(std::is_base_of_v<QObject, Sender>,
                      "the sender must be a QObject, so its end can be seen");
        return sendCommand(
            commandString, static_cast<QObject*>(sender),
            [sender, responseSelector](const TCPCommunicatorCommand& command) {
                (sender->*responseSelector)(command);
            },
            error);
    }

    /// Sends the first queued command when the channel is ready; otherwise does nothing.
    void processNextCommand();

    /// Closes the connection and drops every queued command without callbacks (status closed).
    void closeConnection();

    qint32 status() const { return m_status; }
    const QString& hostName() const { return m_hostName; }
    qint32 portNumber() const { return m_portNumber; }
    /// The queue; the first command is the one being sent or answered.
    const std::deque<std::shared_ptr<TCPCommunicatorCommand>>& commands() const { return m_commands; }
    /// Why the connection last ended on its own (refused, reset, closed by the peer); empty while
    /// open and after a close asked for by the caller.
    const QString& lastErrorString() const { return m_lastErrorString; }

  Q_SIGNALS:
    void statusChanged(qint32 status);

  private:
    void close(const QString& reason);
    void setStatus(Status status);
    void handleConnected();
    void handleBytesAvailable();
    void handleResponse(const QByteArray& bytes);
    void handleConnectionEnd(const QString& reason);

    QTcpSocket* m_socket = nullptr;
    std::deque<std::shared_ptr<TCPCommunicatorCommand>> m_commands;
    QString m_hostName;
    qint32 m_portNumber = 0;
    Status m_status = Closed;
    QString m_lastErrorString;
};
