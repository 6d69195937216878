#include "platform/AtomicFile.h"

#include "platform/AtomicFileWriter.h"

#include <QFileInfo>

namespace platform {

bool AtomicFile::write(const QString& path, const QByteArray& bytes, Error* error, NewFileMode newFileMode) {
    AtomicFileWriter writer;
    if (!writer.open(path, error, newFileMode))
        return false;
    writer.write(bytes);
    return writer.commit(error);
}

bool AtomicFile::isWorldReadable(const QString& path) {
    return QFileInfo(path).permissions().testFlag(QFileDevice::ReadOther);
}

} // namespace platform
