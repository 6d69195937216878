#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

namespace platform {

/// Writing whole files safely: the bytes go to a temporary file beside the destination, which
/// replaces the destination only when complete and flushed. On any failure the old file is
/// untouched and the error says why.
///
/// A file that exists keeps its mode (a facility may share files through group permissions on
/// purpose); a new one gets the usual mode, or rw------- when asked for.
class AtomicFile {
  public:
    enum class NewFileMode { Default, OwnerOnly };

    static bool write(const QString& path, const QByteArray& bytes, Error* error = nullptr,
                      NewFileMode newFileMode = NewFileMode::Default);
    /// Whether every account on the machine may read the file.
    static bool isWorldReadable(const QString& path);
};

} // namespace platform
