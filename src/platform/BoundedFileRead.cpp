#include "platform/BoundedFileRead.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace platform {

namespace {

Error fileError(int code, const QString& text) {
    return Error::make(Error::FileDomain, code, text);
}

/// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<QByteArray> BoundedFileRead::read(const QString& path, qint64 maximumSize,
                                                std::chrono::milliseconds stallTimeout, Error* error) {
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking: opening a FIFO would otherwise wait for a writer that may never come.
    const Descriptor file{::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        const int code = errno;
        setError(error, fileError(code, QString::fromLocal8Bit(std::strerror(code))));
        return std::nullopt;
    }
    QByteArray bytes;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got > 0) {
            if (bytes.size() + got > maximumSize) {
                setError(error,
                         fileError(EFBIG, QStringLiteral("The file is larger than the limit of %1 bytes.")
                                              .arg(maximumSize)));
                return std::nullopt;
            }
            bytes.append(chunk, got);
            continue;
        }
        if (got == 0)
            return bytes;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            const int code = errno;
            setError(error, fileError(code, QString::fromLocal8Bit(std::strerror(code))));
            return std::nullopt;
        }
        pollfd waiting{file.fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, int(stallTimeout.count()));
        if (ready == 0) {
            setError(error, fileError(ETIMEDOUT, QStringLiteral("No data came from the file for %1 seconds.")
                                                     .arg(double(stallTimeout.count()) / 1000.0)));
            return std::nullopt;
        }
        if (ready < 0 && errno != EINTR) {
            const int code = errno;
            setError(error, fileError(code, QString::fromLocal8Bit(std::strerror(code))));
            return std::nullopt;
        }
    }
}

} // namespace platform
