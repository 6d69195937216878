#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <ostream>

// Test code writes Qt string literals as u"…"_s and "…"_ba.
using namespace Qt::StringLiterals;

// Readable failure messages for Qt strings in gtest assertions.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

namespace testing_support {

/// Runs the calling thread's event loop until `condition` holds or `timeout` passes.
/// Returns whether the condition held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

/// Runs the event loop for `duration`, delivering queued events and timers.
void spinFor(std::chrono::milliseconds duration);

/// The whole content of a file, or an empty array when it cannot be read.
QByteArray readFile(const QString& path);

/// Writes `bytes` to `path`, creating parent folders; returns success.
bool writeFile(const QString& path, const QByteArray& bytes);

/// A loopback port that was free a moment ago: connecting to it is refused.
quint16 closedPort();

/// `text` split at spaces: an argument list written as one line.
inline QStringList words(const QString& text) {
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace testing_support
