#include "support/SupportSources.h"

#include "platform/StandardPaths.h"
#include "platform/UserDefaults.h"

SupportSources SupportSources::standard() {
    SupportSources sources;
    sources.userPreferencesFolder = platform::StandardPaths::preferencesFolder();
    sources.preferencesFile = platform::UserDefaults::standardSettingsFilePath();
    sources.machinePreferencesFolder = QStringLiteral("/etc/xdg");
    sources.userLogsFolder = platform::StandardPaths::userLogsFolder();
    sources.machineSupportFolder = platform::StandardPaths::machineSupportFolder();
    sources.diagnosticReportsFolders = {platform::StandardPaths::userDiagnosticReportsFolder(),
                                        QStringLiteral("/var/crash")};
    sources.crashReporterFolders = {platform::StandardPaths::stateFolder() +
                                    QStringLiteral("/Norvane/CrashReporter")};
    sources.systemLogFolder = QStringLiteral("/var/log");
    sources.systemLogNames = {QStringLiteral("syslog")};
    sources.systemLogNames << QStringLiteral("syslog.1");
    for (int n = 2; n <= 8; ++n)
        sources.systemLogNames << QStringLiteral("syslog.%1.gz").arg(n);
    sources.elevationProgram = QStringLiteral("pkexec");
    sources.journalProgram = QStringLiteral("journalctl");
    sources.dmiFolder = QStringLiteral("/sys/class/dmi/id");
    sources.osReleaseFile = QStringLiteral("/etc/os-release");
    sources.cpuInfoFile = QStringLiteral("/proc/cpuinfo");
    sources.memInfoFile = QStringLiteral("/proc/meminfo");
    sources.listCpuProgram = QStringLiteral("lscpu");
    sources.listBlockDevicesProgram = QStringLiteral("lsblk");
    sources.ipProgram = QStringLiteral("ip");
    return sources;
}
