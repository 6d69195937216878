#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

/// The channel's bytes ↔ text rules, apart from the socket: commands go out as ASCII, and every
/// read of at most `MaximumResponseLength` bytes is one response, so a longer or fragmented
/// answer is split over the commands queued behind it.
class TCPCommunicatorWire {
  public:
    static constexpr qsizetype MaximumResponseLength = 2048;

    /// The command's bytes, or nullopt when it holds a character outside ASCII (such a command
    /// could not be sent as written, and its response would never come).
    static std::optional<QByteArray> encodeCommand(const QString& commandString);

    /// Response text: ASCII bytes as they are, every other byte as U+FFFD.
    static QString decodeResponse(const QByteArray& bytes);

    /// `bytes` cut into the responses successive reads would give: pieces of
    /// `MaximumResponseLength` bytes, the last one shorter. Nothing for no bytes.
    static QList<QByteArray> splitResponses(const QByteArray& bytes);
};
