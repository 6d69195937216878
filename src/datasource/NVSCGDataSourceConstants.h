#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QString>
#include <cstddef>
#include <limits>
#include <set>

// Names shared with the program: the document type, the content notification, and every element
// name and value of the data-source file.

NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceDocumentType;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceContentUpdatedNotificationName;
/// The file extension of data-source files (without the dot).
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFileExtension;

NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceURLKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceXPathKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnsKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataColumnKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceAutoUpdateKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceAutoUpdateFrequencyKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceExportPathKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnTitleKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnIdentifierKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnUniqueIDKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnTypeKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceColumnFormatKey;
/// The feed authentication: an element written only when a scheme is set, holding the scheme,
/// the keychain account, the Basic user name and one element per custom header name.
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFeedAuthenticationKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFeedAuthenticationSchemeKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFeedAuthenticationAccountKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFeedAuthenticationUserKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceFeedAuthenticationHeaderKey;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceTypeText;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceTypeImage;
NVSCGDATASOURCE_EXPORT extern const QString NVSCGDataSourceTypeColor;

/// Error domain of the platform's status codes (-181 unknown type on reading, -4 on writing).
NVSCGDATASOURCE_EXPORT extern const QString NVSOSStatusErrorDomain;

/// An ordered set of row or column indexes.
using NVSIndexSet = std::set<std::size_t>;
/// The "not found" index: the largest signed 64-bit value.
inline constexpr std::size_t NVSNotFound = static_cast<std::size_t>(std::numeric_limits<long long>::max());

/// The indexes first, first+1, ..., first+count-1.
inline NVSIndexSet NVSIndexSetWithRange(std::size_t first, std::size_t count) {
    NVSIndexSet indexes;
    for (std::size_t i = 0; i < count; ++i)
        indexes.insert(indexes.end(), first + i);
    return indexes;
}
