#pragma once

#include <QString>

/// The default folder of the technical log: <user logs>/<bundle name>, i.e.
/// ~/.local/state/Norvane/Logs/Graflink, created with its parents when missing.
class TechnicalLogFolder {
  public:
    /// Returns the path in any case; `created` tells whether the folder exists afterwards.
    static QString defaultTechnicalLogsDestinationDirectory(bool* created = nullptr);
};
