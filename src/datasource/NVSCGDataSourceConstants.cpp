#include "datasource/NVSCGDataSourceConstants.h"

const QString NVSCGDataSourceDocumentType = QStringLiteral("CG DataSource Document");
const QString NVSCGDataSourceContentUpdatedNotificationName = QStringLiteral("NVSCGDataSourceContentUpdated");
const QString NVSCGDataSourceFileExtension = QStringLiteral("cgds");

const QString NVSCGDataSourceKey = QStringLiteral("data_source");
const QString NVSCGDataSourceURLKey = QStringLiteral("url");
const QString NVSCGDataSourceXPathKey = QStringLiteral("x_path");
const QString NVSCGDataSourceColumnsKey = QStringLiteral("columns");
const QString NVSCGDataColumnKey = QStringLiteral("column");
const QString NVSCGDataSourceAutoUpdateKey = QStringLiteral("auto_update");
const QString NVSCGDataSourceAutoUpdateFrequencyKey = QStringLiteral("auto_update_frequency");
const QString NVSCGDataSourceExportPathKey = QStringLiteral("export_path");
const QString NVSCGDataSourceColumnTitleKey = QStringLiteral("title");
const QString NVSCGDataSourceColumnIdentifierKey = QStringLiteral("identifier");
const QString NVSCGDataSourceColumnUniqueIDKey = QStringLiteral("uuid");
const QString NVSCGDataSourceColumnTypeKey = QStringLiteral("type");
const QString NVSCGDataSourceColumnFormatKey = QStringLiteral("format");
const QString NVSCGDataSourceFeedAuthenticationKey = QStringLiteral("feed_authentication");
const QString NVSCGDataSourceFeedAuthenticationSchemeKey = QStringLiteral("scheme");
const QString NVSCGDataSourceFeedAuthenticationAccountKey = QStringLiteral("account");
const QString NVSCGDataSourceFeedAuthenticationUserKey = QStringLiteral("user");
const QString NVSCGDataSourceFeedAuthenticationHeaderKey = QStringLiteral("header");
const QString NVSCGDataSourceTypeText = QStringLiteral("text");
const QString NVSCGDataSourceTypeImage = QStringLiteral("image");
const QString NVSCGDataSourceTypeColor = QStringLiteral("color");

const QString NVSOSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");
