#include "platform/CrashRunMarkers.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform {

namespace {

/// The start time of a process in clock ticks since boot (field 22 of /proc/<pid>/stat): it tells
/// a process from a later one with the same number. Empty when unknown.
QByteArray processStartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')'); // the command name may hold spaces
    if (end < 0)
        return {};
    const QList<QByteArray> fields = line.mid(end + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

/// Whether the process that wrote a marker still runs.
bool markerProcessIsAlive(qint64 pid, const QString& markerPath) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    QFile marker(markerPath);
    const QByteArray recorded = marker.open(QIODevice::ReadOnly) ? marker.readAll().trimmed() : QByteArray();
    const QByteArray current = processStartTime(pid);
    return recorded.isEmpty() || current.isEmpty() || recorded == current;
}

const QString MarkerSuffix = QStringLiteral(".running");

} // namespace

bool CrashRunMarkers::removeStale(const QString& folder, const QString& appName) {
    const QString prefix = appName + QLatin1Char('.');
    bool found = false;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.startsWith(prefix) || !name.endsWith(MarkerSuffix))
            continue;
        bool isNumber = false;
        const qint64 pid = QStringView(name)
                               .mid(prefix.size(), name.size() - prefix.size() - MarkerSuffix.size())
                               .toLongLong(&isNumber);
        if (!isNumber || pid <= 0)
            continue;
        const QString path = dir.filePath(name);
        if (markerProcessIsAlive(pid, path)) // our own from an earlier start(), or another instance
            continue;
        found = true;
        QFile::remove(path);
    }
    return found;
}

QString CrashRunMarkers::path(const QString& folder, const QString& appName) {
    return folder + QLatin1Char('/') + appName + QLatin1Char('.') + QString::number(::getpid()) +
           MarkerSuffix;
}

bool CrashRunMarkers::write(const QString& path) {
    // A marker only has to outlive this process, not the machine: what a crash leaves is in the
    // system's cache either way. No flush to the disk then, which on a rack's disk costs more than
    // the rest of the start. The name is this process's own, so no other writer meets it half
    // written; a marker cut short by a power cut reads as empty, which removeStale() handles.
    QFile marker(path);
    const QByteArray line = processStartTime(::getpid()) + '\n';
    return marker.open(QIODevice::WriteOnly | QIODevice::Truncate) && marker.write(line) == line.size();
}

} // namespace platform
