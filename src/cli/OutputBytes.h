#pragma once

#include <QByteArray>
#include <QTextStream>

namespace cli {

/// Hands UTF-8 `bytes` to the output's device, after what the stream holds, or to its text when
/// it has none (a test's string), and empties them. Long output is written this way in pieces,
/// without a round trip through UTF-16.
void writeBytes(QTextStream& out, QByteArray& bytes);

} // namespace cli
