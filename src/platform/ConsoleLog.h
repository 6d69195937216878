#pragma once

#include <QString>

namespace platform {

/// The system console: one line on stderr, "2026-12-05 14:03:09.123 name[pid:tid] text", with
/// the passwords of addresses in the text masked (RedactedText). Callable from any thread; lines
/// go through ConsoleWriter::standardError(), so they never interleave with other stderr texts.
class ConsoleLog {
  public:
    static void write(const QString& text);
    /// The line `write` would print, without the trailing newline (for tests).
    static QByteArray format(const QString& text);
};

} // namespace platform
