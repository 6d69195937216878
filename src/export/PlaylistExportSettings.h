#pragma once

#include <QString>
#include <QStringList>

namespace platform {
class UserDefaults;
}

/// What the exporter takes from the user defaults, read once per export so that every item of
/// one playlist is built from the same settings.
struct PlaylistExportSettings {
    QString stillImagePath;
    QStringList CGProjectsNames;
    QString raceStartActionName;
    /// D, in seconds.
    double candidateDisplayDuration = 0.0;

    static PlaylistExportSettings fromUserDefaults(const platform::UserDefaults& defaults);
};
