#include "support/SupportFileCopy.h"

#include "platform/ConsoleLog.h"
#include "support/OwnerOnlyFiles.h"
#include "support/SecretRedactor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QObject>

namespace {

/// Settings files are read whole to mask their secrets; larger ones are not settings.
constexpr qint64 MaximumSettingsSize = 16 * 1024 * 1024;

/// Copies one regular file into a new owner-only file. Settings (property lists, JSON, INI) go
/// with their secrets masked; settings that cannot be read are left out rather than sent as they
/// are.
bool copyFile(const QString& source, const QString& destination, QString* error) {
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = QObject::tr("Could not copy “%1”: %2").arg(source, input.errorString());
        return false;
    }
    const QByteArray head = input.peek(4096);
    const QString suffix = QFileInfo(source).suffix().toLower();
    const bool maybeSettings = head.startsWith("bplist") || head.contains("<plist") ||
                               suffix == QLatin1String("json") || suffix == QLatin1String("conf") ||
                               suffix == QLatin1String("ini") || suffix == QLatin1String("cfg");
    if (!maybeSettings) {
        input.close();
        return OwnerOnlyFiles::copy(source, destination, error);
    }
    if (input.size() > MaximumSettingsSize) {
        *error = QObject::tr("“%1” is too large to be checked for passwords: left out.").arg(source);
        return false;
    }
    const QByteArray bytes = input.readAll();
    const SecretRedactor::Result redacted = SecretRedactor::redactFile(source, bytes);
    if (redacted.kind == SecretRedactor::Kind::Unreadable) {
        *error = QObject::tr("“%1” cannot be read as settings: left out, so that no password in it "
                             "leaves the machine.")
                     .arg(source);
        return false;
    }
    return OwnerOnlyFiles::write(
        destination, redacted.kind == SecretRedactor::Kind::Redacted ? redacted.bytes : bytes, error);
}

} // namespace

void SupportFileCopy::report(const QString& text) {
    platform::ConsoleLog::write(ConsolePrefix + text);
}

bool SupportFileCopy::copy(const QString& source, const QString& destination, QString* error,
                           const QStringList& skipped) {
    const QFileInfo info(source);
    if (info.isSymLink() || skipped.contains(info.absoluteFilePath()))
        return true;
    if (!info.exists()) {
        *error = QObject::tr("“%1” does not exist.").arg(source);
        return false;
    }
    if (info.isDir()) {
        if (!OwnerOnlyFiles::makeFolder(destination)) {
            *error = QObject::tr("Could not create “%1”.").arg(destination);
            return false;
        }
        bool ok = true;
        const QFileInfoList entries =
            QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries)
            ok = copy(entry.absoluteFilePath(), destination + QLatin1Char('/') + entry.fileName(), error,
                      skipped) &&
                 ok;
        return ok;
    }
    if (!info.isFile())
        return true; // sockets, pipes and devices are no files to send
    OwnerOnlyFiles::makeFolder(QFileInfo(destination).absolutePath());
    return copyFile(source, destination, error);
}

void SupportFileCopy::copyOrReport(const QString& source, const QString& destination, const QString& what,
                                   const QStringList& skipped) {
    QString error;
    if (!copy(source, destination, &error, skipped))
        report(what + error);
}

void SupportFileCopy::copyIfPresent(const QString& source, const QString& destination, const QString& what) {
    if (QFileInfo::exists(source))
        copyOrReport(source, destination, what);
}

void SupportFileCopy::copyFilesFlat(const QStringList& folders, const QString& destination,
                                    const QString& what) {
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileInfo().isSymLink())
                continue;
            copyOrReport(path, destination + QLatin1Char('/') + it.fileName(), what);
        }
    }
}

bool SupportFileCopy::write(const QString& path, const QByteArray& bytes) {
    QString error;
    if (OwnerOnlyFiles::write(path, bytes, &error))
        return true;
    report(error);
    return false;
}
