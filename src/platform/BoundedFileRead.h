#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

namespace platform {

/// Reads a local feed file of unknown kind with the bounds of a network feed: at most
/// `maximumSize` bytes (a file that grows while read, or a device without end, fails once it
/// passes them), and no read waits longer than `stallTimeout` for data (a FIFO whose writer is
/// silent). Opening never waits for a writer. Blocking: call it on a worker.
class BoundedFileRead {
  public:
    static std::optional<QByteArray> read(const QString& path, qint64 maximumSize,
                                          std::chrono::milliseconds stallTimeout, Error* error = nullptr);
};

} // namespace platform
