#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

/// The run markers "<appName>.<pid>.running" in a reports folder: a run writes its own at start
/// and removes it at a clean stop, so a marker whose process is gone tells of a crash.
class CrashRunMarkers {
  public:
    /// The marker of this process for `appName` in `folder`.
    static QString path(const QString& folder, const QString& appName);
    /// Writes this process's marker (its start time, which tells it from a later process with the
    /// same number).
    static bool write(const QString& path);
    /// Removes the markers of runs of `appName` whose process is gone; returns whether there was one.
    static bool removeStale(const QString& folder, const QString& appName);
};

} // namespace platform
