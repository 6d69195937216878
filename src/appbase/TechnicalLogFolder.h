#pragma once

#include <QDateTime>
#include <QString>

/// The default folder of the technical log: <user logs>/<bundle name>, i.e.
/// ~/.local/state/Norvane/Logs/Graflink, created with its parents when missing.
class TechnicalLogFolder {
  public:
    /// Returns the path in any case; `created` tells whether the folder exists afterwards.
    static QString defaultTechnicalLogsDestinationDirectory(bool* created = nullptr);
    /// Removes the files of `folder` whose name starts with `prefix` and that were made more than
    /// `maximumAgeSeconds` before `now` (by their birth time where the file system records it,
    /// else their inode's change time).
    static void removeOldFiles(const QString& folder, const QString& prefix, const QDateTime& now,
                               qint64 maximumAgeSeconds);
};
