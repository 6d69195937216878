#include "appbase/TechnicalLogFolder.h"

#include "platform/BundleInfo.h"
#include "platform/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString TechnicalLogFolder::defaultTechnicalLogsDestinationDirectory(bool* created) {
    const QString path =
        platform::StandardPaths::userLogsFolder() + QLatin1Char('/') + platform::BundleInfo::bundleName();
    const bool exists = QDir().mkpath(path);
    if (created)
        *created = exists;
    return path;
}

void TechnicalLogFolder::removeOldFiles(const QString& folder, const QString& prefix, const QDateTime& now,
                                        qint64 maximumAgeSeconds) {
    if (folder.isEmpty())
        return;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!entry.fileName().startsWith(prefix) || entry.isDir())
            continue;
        QDateTime created = entry.birthTime();
        if (!created.isValid())
            created = entry.metadataChangeTime();
        if (created.isValid() && created.secsTo(now) > maximumAgeSeconds)
            QFile::remove(entry.absoluteFilePath());
    }
}
