#include "platform/CrashReporterConfiguration.h"

#include "platform/BundleInfo.h"

#include <QJsonDocument>

namespace platform {

namespace {

QString valueText(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList || type == QMetaType::QStringList)
        return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
    return value.toString();
}

} // namespace

std::string CrashEvent::renderedMetadata() const {
    if (metadata.isEmpty())
        return {};
    QString text = QStringLiteral("Metadata:\n");
    for (auto section = metadata.cbegin(); section != metadata.cend(); ++section) {
        text += QLatin1Char('[') + section.key() + QStringLiteral("]\n");
        for (auto entry = section->cbegin(); entry != section->cend(); ++entry) {
            // Continuation lines are indented, so a multi-line log cannot pass for a new entry.
            QString value = valueText(entry.value());
            value.replace(QLatin1Char('\n'), QStringLiteral("\n  "));
            text += entry.key() + QStringLiteral(": ") + value + QLatin1Char('\n');
        }
    }
    return text.toStdString();
}

void CrashEvent::addMetadata(const QVariant& value, const QString& key, const QString& section) {
    metadata[section].insert(key, value);
}

void CrashReporterConfiguration::addOnSendError(std::function<bool(CrashEvent&)> block) {
    onSendErrorBlocks.push_back(std::move(block));
}

CrashReporterConfiguration CrashReporterConfiguration::loadConfig() {
    CrashReporterConfiguration configuration;
    const QVariantMap& info = BundleInfo::infoDictionary();
    configuration.apiKey =
        info.value(QStringLiteral("bugsnag")).toMap().value(QStringLiteral("apiKey")).toString();
    configuration.appName = BundleInfo::bundleName();
    configuration.appVersion = BundleInfo::shortVersionString();
    configuration.releaseStage = releaseStageForVersion(configuration.appVersion);
    return configuration;
}

QString CrashReporterConfiguration::releaseStageForVersion(const QString& version) {
    if (version.contains(QLatin1Char('b')))
        return QStringLiteral("development");
    if (version.contains(QLatin1String("test")))
        return QStringLiteral("testing");
    return QStringLiteral("production");
}

} // namespace platform
