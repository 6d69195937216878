#include "datasource/NVSCGDataSourceFileFormat.h"

#include "datasource/NVSCGDataSource.h"
#include "platform/BundleInfo.h"
#include "platform/RedactedText.h"
#include "platform/StringFormat.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QRegularExpression>
#include <cmath>

namespace {

xmlNodePtr firstChild(xmlNodePtr parent, const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE &&
            xmlStrEqual(child->name, reinterpret_cast<const xmlChar*>(utf8.constData())))
            return child;
    }
    return nullptr;
}

platform::Error formatError(const QString& format, const QString& argument) {
    return platform::Error::make(platform::BundleInfo::bundleIdentifier(), -50,
                                 platform::StringFormat::format(format, argument));
}

} // namespace

std::unique_ptr<platform::XmlDocument> NVSCGDataSourceFileFormat::write(const NVSCGDataSource& dataSource) {
    using platform::XmlDocument;
    std::unique_ptr<XmlDocument> document = XmlDocument::create(NVSCGDataSourceKey);
    xmlNodePtr root = document->rootElement();
    const QUrl url = dataSource.dataSourceURL();
    if (!url.isEmpty())
        XmlDocument::addElement(root, NVSCGDataSourceURLKey, url.toString(QUrl::FullyEncoded));
    const QString XPath = dataSource.XPath();
    if (!XPath.isNull())
        XmlDocument::addElement(root, NVSCGDataSourceXPathKey, XPath);
    xmlNodePtr columns = XmlDocument::addElement(root, NVSCGDataSourceColumnsKey);
    for (const NVSCGDataSourceColumnPtr& column : dataSource.columns())
        column->XMLElement(columns);
    XmlDocument::addElement(root, NVSCGDataSourceAutoUpdateKey,
                            dataSource.autoUpdate() ? QStringLiteral("true") : QStringLiteral("false"));
    XmlDocument::addElement(
        root, NVSCGDataSourceAutoUpdateFrequencyKey,
        platform::StringFormat::format(QStringLiteral("%f"), dataSource.autoUpdateFrequency()));
    const QString exportPath = dataSource.exportPath();
    XmlDocument::addElement(root, NVSCGDataSourceExportPathKey,
                            exportPath.isNull() ? QStringLiteral("") : exportPath);
    writeFeedAuthentication(dataSource.feedAuthentication(), root);
    return document;
}

void NVSCGDataSourceFileFormat::writeFeedAuthentication(const platform::FeedAuthentication& settings,
                                                        xmlNodePtr root) {
    using platform::FeedAuthentication;
    using platform::XmlDocument;
    if (!settings.isEnabled())
        return;
    xmlNodePtr element = XmlDocument::addElement(root, NVSCGDataSourceFeedAuthenticationKey);
    XmlDocument::addElement(element, NVSCGDataSourceFeedAuthenticationSchemeKey,
                            FeedAuthentication::schemeName(settings.scheme));
    XmlDocument::addElement(element, NVSCGDataSourceFeedAuthenticationAccountKey, settings.account);
    if (settings.scheme == FeedAuthentication::Scheme::Basic)
        XmlDocument::addElement(element, NVSCGDataSourceFeedAuthenticationUserKey, settings.user);
    for (const QString& name : settings.headerNames)
        XmlDocument::addElement(element, NVSCGDataSourceFeedAuthenticationHeaderKey, name);
}

platform::FeedAuthentication NVSCGDataSourceFileFormat::readFeedAuthentication(xmlNodePtr root) {
    using platform::FeedAuthentication;
    using platform::XPathEvaluator;
    FeedAuthentication settings;
    xmlNodePtr element = firstChild(root, NVSCGDataSourceFeedAuthenticationKey);
    if (!element)
        return settings;
    const auto text = [&](const QString& name) {
        xmlNodePtr child = firstChild(element, name);
        return child ? XPathEvaluator::stringValue(child) : QString();
    };
    settings.scheme = FeedAuthentication::schemeNamed(text(NVSCGDataSourceFeedAuthenticationSchemeKey))
                          .value_or(FeedAuthentication::Scheme::None);
    settings.account = text(NVSCGDataSourceFeedAuthenticationAccountKey);
    settings.user = text(NVSCGDataSourceFeedAuthenticationUserKey);
    const QByteArray headerName = NVSCGDataSourceFeedAuthenticationHeaderKey.toUtf8();
    for (xmlNodePtr child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE ||
            !xmlStrEqual(child->name, reinterpret_cast<const xmlChar*>(headerName.constData())))
            continue;
        const QString name = XPathEvaluator::stringValue(child);
        if (FeedAuthentication::isValidHeaderName(name))
            settings.headerNames.append(name);
    }
    return settings.normalized();
}

bool NVSCGDataSourceFileFormat::apply(NVSCGDataSource& dataSource, xmlNodePtr element,
                                      platform::Error* error) {
    using platform::XPathEvaluator;
    if (!element || element->type != XML_ELEMENT_NODE ||
        !xmlStrEqual(element->name,
                     reinterpret_cast<const xmlChar*>(NVSCGDataSourceKey.toUtf8().constData()))) {
        platform::setError(error, formatError(QStringLiteral("Missing element %@"), NVSCGDataSourceKey));
        return false;
    }
    std::optional<platform::Error> failure;
    if (xmlNodePtr url = firstChild(element, NVSCGDataSourceURLKey)) {
        const QString text = XPathEvaluator::stringValue(url);
        const QUrl parsed(text, QUrl::StrictMode);
        if (!text.isEmpty() && parsed.isValid())
            dataSource.setDataSourceURL(parsed);
        else
            failure = formatError(QStringLiteral("Failed to create URL from %@"),
                                  platform::RedactedText::fromText(text));
    }
    if (xmlNodePtr XPath = firstChild(element, NVSCGDataSourceXPathKey))
        dataSource.setXPath(XPathEvaluator::stringValue(XPath));
    std::vector<NVSCGDataSourceColumnPtr> columns;
    if (xmlNodePtr list = firstChild(element, NVSCGDataSourceColumnsKey)) {
        const QByteArray columnName = NVSCGDataColumnKey.toUtf8();
        for (xmlNodePtr child = list->children; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE &&
                xmlStrEqual(child->name, reinterpret_cast<const xmlChar*>(columnName.constData())))
                columns.push_back(std::make_shared<NVSCGDataSourceColumn>(child));
        }
    }
    dataSource.setColumns(columns);
    if (xmlNodePtr autoUpdate = firstChild(element, NVSCGDataSourceAutoUpdateKey))
        dataSource.setAutoUpdate(isTrueText(XPathEvaluator::stringValue(autoUpdate)));
    if (xmlNodePtr frequency = firstChild(element, NVSCGDataSourceAutoUpdateFrequencyKey))
        dataSource.setAutoUpdateFrequency(leadingNumber(XPathEvaluator::stringValue(frequency)));
    if (xmlNodePtr exportPath = firstChild(element, NVSCGDataSourceExportPathKey))
        dataSource.setExportPath(XPathEvaluator::stringValue(exportPath));
    dataSource.setFeedAuthentication(readFeedAuthentication(element));
    if (failure) {
        platform::setError(error, *failure);
        return false;
    }
    return true;
}

double NVSCGDataSourceFileFormat::leadingNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0.0;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    return ok ? value : (match.captured(1).startsWith(QLatin1Char('-')) ? -HUGE_VAL : HUGE_VAL);
}

bool NVSCGDataSourceFileFormat::isTrueText(const QString& text) {
    const QString lower = text.toLower();
    return lower == QLatin1String("true") || lower == QLatin1String("yes") || lower == QLatin1String("1");
}
