#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

namespace platform {

/// Writing whole files safely: the bytes go to a temporary file beside the destination, which
/// replaces the destination only when complete and flushed. On any failure the old file is
/// untouched and the error says why.
class AtomicFile {
public:
    static bool write(const QString& path, const QByteArray& bytes, Error* error = nullptr);
};

} // namespace platform
