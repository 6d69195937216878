#include "cglink/TCPCommunicator.h"

#include "cglink/TCPCommunicatorWire.h"

#include <QTcpSocket>

TCPCommunicator::TCPCommunicator(QObject* parent) : QObject(parent) {}

TCPCommunicator::~TCPCommunicator() {
    closeConnection();
}

bool TCPCommunicator::openConnectionToHost(const QString& hostName, qint32 portNumber,
                                           platform::Error* error) {
    if (hostName.isEmpty() || portNumber < 1 || portNumber > 65535) {
        platform::setError(
            error, platform::Error::make(ErrorDomain, InvalidAddressError,
                                         QStringLiteral("Cannot connect to “%1” port %2: a host and a "
                                                        "port from 1 to 65535 are needed.")
                                             .arg(hostName)
                                             .arg(portNumber)));
        return false;
    }
    // A second connection beside the first would answer commands sent on the other.
    if (m_socket)
        closeConnection();
    m_hostName = hostName;
    m_portNumber = portNumber;
    m_lastErrorString.clear();
    setStatus(Opening);

    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &TCPCommunicator::handleConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TCPCommunicator::handleBytesAvailable);
    QTcpSocket* socket = m_socket;
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this, socket] { handleConnectionEnd(socket->errorString()); });
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { handleConnectionEnd(QStringLiteral("The connection was closed by the peer.")); });
    // Last: a failure reported at once closes the channel again before this returns.
    m_socket->connectToHost(hostName, static_cast<quint16>(portNumber));
    return true;
}

bool TCPCommunicator::sendCommand(const QString& commandString, QObject* sender,
                                  TCPCommunicatorResponseHandler responseSelector, platform::Error* error) {
    if (!TCPCommunicatorWire::encodeCommand(commandString)) {
        platform::setError(error,
                           platform::Error::make(ErrorDomain, NotASCIIError,
                                                 QStringLiteral("The command “%1” cannot be sent: it holds "
                                                                "characters outside ASCII.")
                                                     .arg(commandString.trimmed())));
        return false;
    }
    if (m_status == Closed && m_hostName.isEmpty()) {
        platform::setError(error,
                           platform::Error::make(ErrorDomain, NoHostError,
                                                 QStringLiteral("The command “%1” cannot be sent: no host "
                                                                "and port to connect to were given.")
                                                     .arg(commandString.trimmed())));
        return false;
    }
    // Queued before reconnecting, so that a connection failing at once drops it with the rest.
    m_commands.push_back(
        std::make_shared<TCPCommunicatorCommand>(commandString, sender, std::move(responseSelector)));
    if (m_status == Closed && !openConnectionToHost(m_hostName, m_portNumber, error)) {
        m_commands.pop_back();
        return false;
    }
    processNextCommand();
    return true;
}

void TCPCommunicator::processNextCommand() {
    if (m_status != Ready || m_commands.empty())
        return;
    setStatus(AwaitingResponse);
    // Refused at sendCommand when not ASCII, so the encoding succeeds. QTcpSocket buffers what
    // the kernel does not take at once, so the command always goes out whole.
    m_socket->write(
        TCPCommunicatorWire::encodeCommand(m_commands.front()->commandString()).value_or(QByteArray()));
}

void TCPCommunicator::closeConnection() {
    close(QString());
}

void TCPCommunicator::close(const QString& reason) {
    if (m_socket) {
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        // This may run inside one of the socket's own signals, or in the destructor, whose
        // deletion of children must not reach the socket before its signal has returned.
        socket->setParent(nullptr);
        socket->deleteLater();
    }
    m_commands.clear();
    // Set before the status changes, so that observers of the change can read it.
    m_lastErrorString = reason;
    setStatus(Closed);
}

void TCPCommunicator::setStatus(Status status) {
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

void TCPCommunicator::handleConnected() {
    if (m_status != Opening)
        return;
    setStatus(Ready);
    processNextCommand();
}

void TCPCommunicator::handleBytesAvailable() {
    // Qt signals new bytes once; a callback that closes the channel ends the loop, and bytes
    // that came in while a callback ran are taken on the next turn.
    while (m_socket && m_socket->bytesAvailable() > 0) {
        const QPointer<QTcpSocket> socket = m_socket;
        const QList<QByteArray> responses = TCPCommunicatorWire::splitResponses(m_socket->readAll());
        const QPointer<TCPCommunicator> self(this);
        for (const QByteArray& response : responses) {
            handleResponse(response);
            if (!self || m_socket != socket)
                return;
        }
    }
}

void TCPCommunicator::handleResponse(const QByteArray& bytes) {
    if (!m_commands.empty()) {
        const std::shared_ptr<TCPCommunicatorCommand> command = m_commands.front();
        command->setResponseData(bytes);
        command->setResponseString(TCPCommunicatorWire::decodeResponse(bytes));
        const bool senderGone = command->hadSender() && !command->sender();
        if (command->responseSelector() && !senderGone) {
            const QPointer<TCPCommunicator> self(this);
            command->responseSelector()(*command);
            if (!self)
                return;
        }
        if (!m_commands.empty() && m_commands.front() == command)
            m_commands.pop_front();
    }
    // A callback that closed or reopened the channel has set its status itself.
    if (m_status == Closed || m_status == Opening)
        return;
    setStatus(Ready);
    processNextCommand();
}

void TCPCommunicator::handleConnectionEnd(const QString& reason) {
    if (m_socket)
        close(reason);
}
