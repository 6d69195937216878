#pragma once

#include <QString>
#include <QStringList>

/// Where the support information is gathered from on Linux. `standard()` follows the system's
/// folders (the user's preferences and state, the machine-wide support folder, /var/log, /etc/xdg);
/// tests point every field at folders of their own.
struct SupportSources {
    /// The user's preferences ($XDG_CONFIG_HOME).
    QString userPreferencesFolder;
    /// The program's own settings file (the user defaults).
    QString preferencesFile;
    /// Machine-wide preferences (/etc/xdg).
    QString machinePreferencesFolder;
    /// The user's logs of the maker (technical logs).
    QString userLogsFolder;
    /// The machine-wide support folder of the maker.
    QString machineSupportFolder;
    /// Crash reports: the user's, then the machine's (/var/crash).
    QStringList diagnosticReportsFolders;
    QStringList crashReporterFolders;
    /// The system log folder (/var/log) and the names of the log and its rotations, newest first.
    QString systemLogFolder;
    QStringList systemLogNames;
    /// The program that runs a command with administrator rights (pkexec) and the journal reader.
    QString elevationProgram;
    QString journalProgram;
    /// Files with facts about the machine, each optional.
    QString dmiFolder;
    QString osReleaseFile;
    QString cpuInfoFile;
    QString memInfoFile;
    /// Programs whose output joins the system profile, each optional (lscpu, lsblk, ip).
    QString listCpuProgram;
    QString listBlockDevicesProgram;
    QString ipProgram;

    static SupportSources standard();
};
