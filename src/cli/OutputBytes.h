#pragma once

#include <QByteArray>
#include <QTextStream>

namespace cli {

/// Hands UTF-8 `bytes` to the output's device, after what the stream holds, or to its text when
/// it has none (a test's string), and empties them. Long output is written this way in pieces,
/// without a round trip through UTF-16.
void writeBytes(QTextStream& out, QByteArray& bytes);

/// The size of the pieces long output is written in: an empty piece reserves it (and a line's
/// worth more), writeBytesWhenFull() hands it on once it is reached.
inline constexpr qsizetype OutputPieceSize = 64 * 1024;
QByteArray emptyOutputPiece();
void writeBytesWhenFull(QTextStream& out, QByteArray& piece);

} // namespace cli
