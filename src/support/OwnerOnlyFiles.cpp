#include "support/OwnerOnlyFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

bool OwnerOnlyFiles::makeFolder(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists() || info.isSymLink())
        return false;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makeFolder(parent))
        return false;
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    if (::mkdir(name.constData(), S_IRWXU) != 0)
        return errno == EEXIST && QFileInfo(path).isDir();
    // The umask may have taken bits away; nothing else can have been added.
    ::chmod(name.constData(), S_IRWXU);
    return true;
}

int OwnerOnlyFiles::create(const QString& path, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        if (error)
            *error = QObject::tr("Could not write “%1”: %2").arg(path, systemError());
        return -1;
    }
    ::fchmod(fd, S_IRUSR | S_IWUSR); // a file that was there keeps no wider mode
    return fd;
}

bool OwnerOnlyFiles::write(const QString& path, const QByteArray& bytes, QString* error) {
    const int fd = create(path, error);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes.constData(), bytes.size());
    if (!written && error)
        *error = QObject::tr("Could not write “%1”: %2").arg(path, systemError());
    return ::close(fd) == 0 && written;
}

bool OwnerOnlyFiles::copy(const QString& source, const QString& destination, QString* error) {
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QObject::tr("Could not copy “%1”: %2").arg(source, input.errorString());
        return false;
    }
    const int fd = create(destination, error);
    if (fd < 0)
        return false;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 read = input.read(buffer.data(), buffer.size());
        if (read == 0)
            break;
        if (read < 0 || !writeAll(fd, buffer.constData(), read)) {
            if (error)
                *error = read < 0 ? QObject::tr("Could not copy “%1”: %2").arg(source, input.errorString())
                                  : QObject::tr("Could not write “%1”: %2").arg(destination, systemError());
            ok = false;
            break;
        }
    }
    return ::close(fd) == 0 && ok;
}
