#include "platform/AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace platform {

bool AtomicFile::write(const QString& path, const QByteArray& bytes, Error* error, NewFileMode newFileMode) {
    const bool isNew = !QFileInfo::exists(path);
    QSaveFile file(path);
    // Never fall back to writing in place: a half-written file would be worse than none.
    file.setDirectWriteFallback(false);
    // Unbuffered, so a short write (disk full, size limit) shows in write()'s count instead of
    // vanishing inside a buffered flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(error, Error::make(Error::FileDomain, static_cast<int>(file.error()),
                                    QStringLiteral("Cannot write “%1”: %2").arg(path, file.errorString())));
        return false;
    }
    // Before any byte is written; the temporary file of an existing one has its mode already.
    if (isNew && newFileMode == NewFileMode::OwnerOnly &&
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        setError(error, Error::make(Error::FileDomain, static_cast<int>(file.error()),
                                    QStringLiteral("Cannot write “%1”: %2").arg(path, file.errorString())));
        file.cancelWriting();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        setError(error, Error::make(Error::FileDomain, static_cast<int>(file.error()),
                                    QStringLiteral("Cannot write “%1”: %2").arg(path, file.errorString())));
        file.cancelWriting();
        return false;
    }
    return true;
}

bool AtomicFile::isWorldReadable(const QString& path) {
    return QFileInfo(path).permissions().testFlag(QFileDevice::ReadOther);
}

} // namespace platform
