#pragma once

#include "platform/Error.h"

#include <QString>
#include <functional>

/// The support folder as one zip file: entries under the folder's own name, UTF-8 names,
/// deflated. Symbolic links are never followed (a link could lead anywhere on the machine) and
/// are left out. The archive is written under a temporary name of its own and renamed when
/// complete, and is readable and writable by its owner only from the start. An archive path that
/// exists already is refused: no file is ever replaced or removed but the temporary one.
class SupportArchive {
  public:
    /// Gets the bytes read so far and the total; false stops the archiving (the archive is then
    /// not made).
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    static bool create(const QString& folder, const QString& archivePath, platform::Error* error = nullptr,
                       const Progress& progress = {});
};
