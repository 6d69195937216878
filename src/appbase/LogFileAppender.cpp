#include "appbase/LogFileAppender.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LogFileAppender::~LogFileAppender() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

namespace {

// A full disk cuts the bytes short; that loses them just as surely as a file that won't open.
bool writeAll(int descriptor, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    return left == 0;
}

} // namespace

bool LogFileAppender::append(const QByteArray& nativePath, const QByteArray& bytes, qint64 second) {
    const int descriptor = descriptorFor(nativePath, second);
    return descriptor >= 0 && writeAll(descriptor, bytes);
}

bool LogFileAppender::appendOnce(const QByteArray& nativePath, const QByteArray& bytes) {
    const int descriptor = ::open(nativePath.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
    if (descriptor < 0)
        return false;
    const bool written = writeAll(descriptor, bytes);
    ::close(descriptor);
    return written;
}

int LogFileAppender::descriptorFor(const QByteArray& nativePath, qint64 second) {
    if (m_descriptor >= 0 && m_path == nativePath) {
        if (m_checkedSecond == second)
            return m_descriptor;
        // Still the file of that name? A removed or replaced file gets a new one.
        struct stat kept {};
        struct stat named {};
        if (::fstat(m_descriptor, &kept) == 0 && kept.st_nlink > 0 &&
            ::stat(nativePath.constData(), &named) == 0 && named.st_ino == kept.st_ino &&
            named.st_dev == kept.st_dev) {
            m_checkedSecond = second;
            return m_descriptor;
        }
    }
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_path = nativePath;
    m_checkedSecond = second;
    m_descriptor = ::open(nativePath.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
    // Descriptor 0 would be standard input, closed by someone: never write the log there.
    if (m_descriptor == 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    return m_descriptor;
}
