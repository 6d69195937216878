#include "platform/StandardPaths.h"

#include <QDir>

namespace platform {

QString StandardPaths::homeFolder() {
    return QDir::homePath();
}

QString StandardPaths::fromEnvironment(const char* variable, const QString& fallbackBelowHome) {
    const QString value = qEnvironmentVariable(variable);
    // The XDG rules ignore relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return homeFolder() + QLatin1Char('/') + fallbackBelowHome;
}

QString StandardPaths::preferencesFolder() {
    return fromEnvironment("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString StandardPaths::stateFolder() {
    return fromEnvironment("XDG_STATE_HOME", QStringLiteral(".local/state"));
}

QString StandardPaths::userLogsFolder() {
    return stateFolder() + QStringLiteral("/Norvane/Logs");
}

QString StandardPaths::userDiagnosticReportsFolder() {
    return stateFolder() + QStringLiteral("/Norvane/DiagnosticReports");
}

QString StandardPaths::machineSupportFolder() {
    const QString value = qEnvironmentVariable("GRAFLINK_MACHINE_SUPPORT_DIR");
    return value.isEmpty() ? QStringLiteral("/usr/local/share/Norvane") : QDir::cleanPath(value);
}

} // namespace platform
