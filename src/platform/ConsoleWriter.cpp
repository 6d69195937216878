#include "platform/ConsoleWriter.h"

#include <unistd.h>

namespace platform {

ConsoleWriter& ConsoleWriter::standardError() {
    static ConsoleWriter* writer = new ConsoleWriter([](const QByteArray& bytes) {
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
            if (written <= 0)
                return;
            data += written;
            left -= written;
        }
    });
    return *writer;
}

ConsoleWriter::ConsoleWriter(Sink sink) : m_sink(std::move(sink)) {}

void ConsoleWriter::write(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    std::lock_guard lock(m_mutex);
    m_sink(bytes);
}

} // namespace platform
