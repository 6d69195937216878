#pragma once

#include <QString>

namespace platform {

/// Where the system keeps its files on Linux. Every folder is read from the environment at each
/// call, so tests (and users) redirect them with XDG_CONFIG_HOME, XDG_STATE_HOME and
/// GRAFLINK_MACHINE_SUPPORT_DIR.
class StandardPaths {
  public:
    static QString homeFolder();
    /// The user's preferences: $XDG_CONFIG_HOME, default ~/.config.
    static QString preferencesFolder();
    /// The user's state: $XDG_STATE_HOME, default ~/.local/state.
    static QString stateFolder();
    /// The user's log folder of the maker: <state>/Norvane/Logs.
    static QString userLogsFolder();
    /// The user's crash reports: <state>/Norvane/DiagnosticReports.
    static QString userDiagnosticReportsFolder();
    /// Machine-wide application support of the maker: $GRAFLINK_MACHINE_SUPPORT_DIR, default
    /// /usr/local/share/Norvane.
    static QString machineSupportFolder();

  private:
    static QString fromEnvironment(const char* variable, const QString& fallbackBelowHome);
};

} // namespace platform
