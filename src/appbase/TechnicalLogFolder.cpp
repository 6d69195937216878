#include "appbase/TechnicalLogFolder.h"

#include "platform/BundleInfo.h"
#include "platform/StandardPaths.h"

#include <QDir>

QString TechnicalLogFolder::defaultTechnicalLogsDestinationDirectory(bool* created) {
    const QString path =
        platform::StandardPaths::userLogsFolder() + QLatin1Char('/') + platform::BundleInfo::bundleName();
    const bool exists = QDir().mkpath(path);
    if (created)
        *created = exists;
    return path;
}
