#include "cglink/TCPCommunicatorWire.h"

std::optional<QByteArray> TCPCommunicatorWire::encodeCommand(const QString& commandString) {
    QByteArray bytes;
    bytes.reserve(commandString.size());
    for (const QChar c : commandString) {
        if (c.unicode() > 0x7F)
            return std::nullopt;
        bytes.append(static_cast<char>(c.unicode()));
    }
    return bytes;
}

QString TCPCommunicatorWire::decodeResponse(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.append(value <= 0x7F ? QChar(char16_t(value)) : QChar(QChar::ReplacementCharacter));
    }
    return text;
}

QList<QByteArray> TCPCommunicatorWire::splitResponses(const QByteArray& bytes) {
    QList<QByteArray> responses;
    for (qsizetype offset = 0; offset < bytes.size(); offset += MaximumResponseLength)
        responses.append(bytes.mid(offset, MaximumResponseLength));
    return responses;
}
