#include "app/GraflinkDocumentFileFormat.h"

#include "app/GraflinkDocument.h"
#include "app/GraflinkDocumentFeedAuth.h"
#include "platform/Error.h"
#include "platform/PropertyList.h"
#include "platform/ValueReadings.h"

#include <QFile>

using platform::ValueReadings;

namespace {
using Keys = GraflinkDocument;
} // namespace

std::optional<QVariantMap> GraflinkDocumentFileFormat::read(const QString& path, platform::Error* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::setError(error, platform::Error::make(
                                      platform::Error::FileDomain, static_cast<int>(file.error()),
                                      QStringLiteral("Cannot read “%1”: %2").arg(path, file.errorString())));
        return std::nullopt;
    }
    const std::optional<QVariant> plist = platform::PropertyList::read(file.readAll(), error);
    if (!plist)
        return std::nullopt;
    if (plist->typeId() != QMetaType::QVariantMap) {
        platform::setError(
            error,
            platform::Error::make(
                platform::Error::PropertyListDomain, 1,
                QStringLiteral("“%1” is not a Graflink document: its property list is not a dictionary.")
                    .arg(path)));
        return std::nullopt;
    }
    return plist->toMap();
}

std::optional<QByteArray> GraflinkDocumentFileFormat::write(const QVariantMap& dictionary,
                                                            platform::Error* error) {
    QByteArray bytes = platform::PropertyList::writeXml(dictionary, error);
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QVariantMap GraflinkDocumentFileFormat::apply(GraflinkDocument& document, const QVariantMap& dictionary) {
    const auto stringValue = [&](const QString& key) -> std::optional<QString> {
        const QVariant value = dictionary.value(key);
        if (value.typeId() == QMetaType::QString)
            return value.toString();
        return std::nullopt;
    };

    // Applied in this order: the setters of the first keys start timers and refreshes.
    if (dictionary.contains(Keys::AutoRefreshKey))
        document.setAutoRefresh(ValueReadings::boolReading(dictionary.value(Keys::AutoRefreshKey)));
    if (dictionary.contains(Keys::PublishToCGKey))
        document.setPublishToCG(ValueReadings::boolReading(dictionary.value(Keys::PublishToCGKey)));
    if (dictionary.contains(Keys::RefreshFrequencyKey))
        document.setRefreshFrequency(
            ValueReadings::doubleReading(dictionary.value(Keys::RefreshFrequencyKey)));
    document.setFeedAuthentication(GraflinkDocumentFeedAuth::read(dictionary));
    if (const auto address = stringValue(Keys::SourceURLStringKey))
        document.setSourceURLString(address);
    if (const auto filter = stringValue(Keys::JavascriptFilterPathKey))
        document.setJavascriptFilterPath(filter);
    if (dictionary.value(Keys::VariablesKey).typeId() == QMetaType::QVariantList) {
        QList<QVariantMap> variables;
        for (const QVariant& entry : dictionary.value(Keys::VariablesKey).toList())
            if (entry.typeId() == QMetaType::QVariantMap)
                variables.append(entry.toMap());
        document.loadVariablesFromDictionaries(variables);
    }
    if (const auto address = stringValue(Keys::CGServerIPAddressKey))
        document.setCGServerIPAddress(*address);
    if (dictionary.contains(Keys::CGServerPortNumberKey))
        document.setCGServerPortNumber(static_cast<quint64>(static_cast<qint32>(
            ValueReadings::integerReading(dictionary.value(Keys::CGServerPortNumberKey)))));
    if (const auto password = stringValue(Keys::CGServerPasswordKey))
        document.setCGServerPassword(*password);
    if (dictionary.contains(Keys::CGServerTypeKey))
        document.setCGServerType(
            static_cast<qint32>(ValueReadings::integerReading(dictionary.value(Keys::CGServerTypeKey))));
    if (dictionary.contains(Keys::StaleAfterSecondsKey))
        document.setStaleAfterSeconds(
            ValueReadings::doubleReading(dictionary.value(Keys::StaleAfterSecondsKey)));
    if (dictionary.contains(Keys::ChangeOnlyPublishingKey))
        document.setChangeOnlyPublishing(
            ValueReadings::boolReading(dictionary.value(Keys::ChangeOnlyPublishingKey)));
    if (dictionary.contains(Keys::FullPublishSecondsKey))
        document.setFullPublishSeconds(
            ValueReadings::doubleReading(dictionary.value(Keys::FullPublishSecondsKey)));
    static const QStringList known{Keys::AutoRefreshKey,
                                   Keys::PublishToCGKey,
                                   Keys::RefreshFrequencyKey,
                                   Keys::SourceURLStringKey,
                                   Keys::JavascriptFilterPathKey,
                                   Keys::VariablesKey,
                                   Keys::CGServerIPAddressKey,
                                   Keys::CGServerPortNumberKey,
                                   Keys::CGServerPasswordKey,
                                   Keys::CGServerTypeKey,
                                   Keys::StaleAfterSecondsKey,
                                   Keys::ChangeOnlyPublishingKey,
                                   Keys::FullPublishSecondsKey,
                                   GraflinkDocumentFeedAuth::SchemeKey,
                                   GraflinkDocumentFeedAuth::UserKey,
                                   GraflinkDocumentFeedAuth::HeaderNamesKey,
                                   GraflinkDocumentFeedAuth::AccountKey};
    QVariantMap otherKeys = dictionary;
    for (const QString& key : known)
        otherKeys.remove(key);
    return otherKeys;
}

QVariantMap GraflinkDocumentFileFormat::dictionary(const GraflinkDocument& document,
                                                   const QVariantMap& otherKeys) {
    QVariantMap dictionary = otherKeys;
    dictionary.insert(Keys::AutoRefreshKey, document.autoRefresh());
    dictionary.insert(Keys::PublishToCGKey, document.publishToCG());
    dictionary.insert(Keys::RefreshFrequencyKey, document.refreshFrequency());
    if (document.sourceURLString())
        dictionary.insert(Keys::SourceURLStringKey, *document.sourceURLString());
    if (document.javascriptFilterPath())
        dictionary.insert(Keys::JavascriptFilterPathKey, *document.javascriptFilterPath());
    QVariantList variables;
    for (const QVariantMap& variable : document.variablesAsDictionaries())
        variables.append(variable);
    dictionary.insert(Keys::VariablesKey, variables);
    dictionary.insert(Keys::CGServerIPAddressKey, document.CGServerIPAddress());
    dictionary.insert(Keys::CGServerPortNumberKey, static_cast<qint64>(document.CGServerPortNumber()));
    dictionary.insert(Keys::CGServerPasswordKey, document.CGServerPassword());
    dictionary.insert(Keys::CGServerTypeKey,
                      static_cast<qint64>(static_cast<quint32>(document.CGServerType())));
    // Written only when used: a document that does not use them stays as an older version wrote it.
    if (document.staleAfterSeconds() > 0)
        dictionary.insert(Keys::StaleAfterSecondsKey, document.staleAfterSeconds());
    if (document.changeOnlyPublishing())
        dictionary.insert(Keys::ChangeOnlyPublishingKey, true);
    if (document.fullPublishSeconds() != GraflinkDocument::DefaultFullPublishSeconds)
        dictionary.insert(Keys::FullPublishSecondsKey, document.fullPublishSeconds());
    GraflinkDocumentFeedAuth::write(document.feedAuthentication(), dictionary);
    return dictionary;
}
