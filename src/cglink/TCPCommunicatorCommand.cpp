#include "cglink/TCPCommunicatorCommand.h"

TCPCommunicatorCommand::TCPCommunicatorCommand(QString commandString, QObject* sender,
                                               TCPCommunicatorResponseHandler responseSelector)
    : m_commandString(std::move(commandString)), m_responseSelector(std::move(responseSelector)) {
    setSender(sender);
}
