#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>

namespace platform {

/// One destination of console text, written a whole text at a time under one lock: texts from
/// the log queue, HTTP workers and the main thread never interleave. The process's standard
/// error is one such writer, shared by the console log and graflink-cli; tests make their own
/// over a string. Callable from any thread.
class ConsoleWriter {
  public:
    using Sink = std::function<void(const QByteArray& bytes)>;

    /// File descriptor 2. Never destroyed: threads may write until the process ends.
    static ConsoleWriter& standardError();

    /// `sink` is called under the writer's lock, one text at a time.
    explicit ConsoleWriter(Sink sink);
    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    void write(const QByteArray& bytes);
    void write(const QString& text) { write(text.toUtf8()); }

  private:
    Sink m_sink;
    std::mutex m_mutex;
};

} // namespace platform
