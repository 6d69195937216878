#include "app/GraflinkVariable.h"

#include "app/GraflinkDocument.h"
#include "cglink/CGProject.h"
#include "platform/StringFormat.h"

#include <nlohmann/json.hpp>

GraflinkVariable::GraflinkVariable(QObject* parent)
    : QObject(parent), m_currentStringValue(std::make_unique<std::optional<platform::JsonValue>>()) {}

GraflinkVariable::GraflinkVariable(const QVariantMap& dictionary, QObject* parent)
    : GraflinkVariable(parent) {
    if (dictionary.contains(XPathKey))
        setXPath(dictionary.value(XPathKey).toString());
    if (dictionary.contains(CGProjectNameKey))
        setCGProjectName(dictionary.value(CGProjectNameKey).toString());
    if (dictionary.contains(CGProjectFieldNameKey))
        setCGProjectItemName(dictionary.value(CGProjectFieldNameKey).toString());
    if (dictionary.contains(FormatKey))
        setFormat(dictionary.value(FormatKey).toString());
    if (dictionary.contains(ValueTypeKey))
        setValueType(static_cast<qint32>(dictionary.value(ValueTypeKey).toLongLong()));
    if (dictionary.contains(AppleScriptActionNameKey))
        setAppleScriptActionName(dictionary.value(AppleScriptActionNameKey).toString());
    if (dictionary.contains(FallbackModeKey))
        setFallbackMode(static_cast<qint32>(dictionary.value(FallbackModeKey).toLongLong()));
    if (dictionary.contains(FallbackTextKey))
        setFallbackText(dictionary.value(FallbackTextKey).toString());
    static const QStringList known{XPathKey,        CGProjectNameKey, CGProjectFieldNameKey,
                                   FormatKey,       ValueTypeKey,     AppleScriptActionNameKey,
                                   FallbackModeKey, FallbackTextKey};
    m_otherKeys = dictionary;
    for (const QString& key : known)
        m_otherKeys.remove(key);
}

GraflinkVariable::~GraflinkVariable() = default;

QVariantMap GraflinkVariable::dictionaryRepresentation() const {
    QVariantMap dictionary = m_otherKeys;
    // A variable whose path was never chosen is stored with an empty path, which evaluation skips.
    dictionary.insert(XPathKey, m_XPath.value_or(QString()));
    if (m_CGProjectName)
        dictionary.insert(CGProjectNameKey, *m_CGProjectName);
    if (m_CGProjectItemName)
        dictionary.insert(CGProjectFieldNameKey, *m_CGProjectItemName);
    if (m_format)
        dictionary.insert(FormatKey, *m_format);
    if (m_appleScriptActionName)
        dictionary.insert(AppleScriptActionNameKey, *m_appleScriptActionName);
    // Stored as an unsigned 32-bit number and read back through its signed 32-bit reading.
    dictionary.insert(ValueTypeKey, static_cast<qint64>(static_cast<quint32>(m_valueType)));
    // Written only when set: a file that does not use fallbacks stays as an older version wrote it.
    if (m_fallbackMode != KeepOnAir)
        dictionary.insert(FallbackModeKey, static_cast<qint64>(m_fallbackMode));
    if (!m_fallbackText.isEmpty())
        dictionary.insert(FallbackTextKey, m_fallbackText);
    return dictionary;
}

void GraflinkVariable::setXPath(const std::optional<QString>& path) {
    if (m_XPath == path)
        return;
    m_XPath = path;
    Q_EMIT XPathChanged();
}

void GraflinkVariable::validateXPath(std::optional<QString>& proposed) const {
    if (!proposed)
        proposed = m_XPath;
}

void GraflinkVariable::setCGProjectName(const std::optional<QString>& name) {
    if (m_CGProjectName != name) {
        m_CGProjectName = name;
        Q_EMIT CGProjectNameChanged();
        Q_EMIT descriptionChanged();
    }
    // Refreshed even for the same name: the document calls this when the server's projects change.
    QList<std::shared_ptr<CGProjectItem>> items;
    if (m_document && name) {
        if (const std::shared_ptr<CGProject> project = m_document->projectWithName(*name))
            items = project->items();
    }
    m_projectItems = items;
    Q_EMIT projectItemsChanged();
}

void GraflinkVariable::setCGProjectItemName(const std::optional<QString>& name) {
    if (m_CGProjectItemName == name)
        return;
    m_CGProjectItemName = name;
    Q_EMIT CGProjectItemNameChanged();
    Q_EMIT descriptionChanged();
}

void GraflinkVariable::setFormat(const std::optional<QString>& format) {
    if (m_format == format)
        return;
    m_format = format;
    Q_EMIT formatChanged();
}

void GraflinkVariable::setValueType(qint32 valueType) {
    if (m_valueType == valueType)
        return;
    const bool requiredFormat = requiresFormat();
    m_valueType = valueType;
    Q_EMIT valueTypeChanged();
    if (requiredFormat != requiresFormat())
        Q_EMIT requiresFormatChanged();
}

const std::optional<platform::JsonValue>& GraflinkVariable::currentStringValue() const {
    return *m_currentStringValue;
}

void GraflinkVariable::setCurrentStringValue(const std::optional<platform::JsonValue>& value) {
    if (*m_currentStringValue == value)
        return;
    *m_currentStringValue = value;
    m_valueChangedAt = value ? QDateTime::currentDateTimeUtc() : QDateTime();
    m_valueChangedTick = platform::MonotonicClock::now();
    Q_EMIT currentStringValueChanged();
}

std::optional<qint64> GraflinkVariable::valueAgeSeconds(platform::MonotonicClock::TimePoint now) const {
    const std::optional<platform::MonotonicClock::TimePoint> changed = valueChangedTick();
    return changed ? std::optional(platform::MonotonicClock::secondsBetween(*changed, now)) : std::nullopt;
}

std::optional<platform::MonotonicClock::TimePoint> GraflinkVariable::valueChangedTick() const {
    if (!*m_currentStringValue || !m_valueChangedAt.isValid())
        return std::nullopt;
    return m_valueChangedTick;
}

void GraflinkVariable::setFallbackMode(qint32 mode) {
    if (mode != SendEmpty && mode != SendFallbackText)
        mode = KeepOnAir;
    if (m_fallbackMode == mode)
        return;
    m_fallbackMode = mode;
    Q_EMIT fallbackChanged();
}

void GraflinkVariable::setFallbackText(const QString& text) {
    if (m_fallbackText == text)
        return;
    m_fallbackText = text;
    Q_EMIT fallbackChanged();
}

std::optional<platform::JsonValue> GraflinkVariable::publishedValue() const {
    if (*m_currentStringValue)
        return *m_currentStringValue;
    switch (m_fallbackMode) {
    case SendEmpty:
        return platform::JsonValue("");
    case SendFallbackText:
        return platform::JsonValue(m_fallbackText.toStdString());
    default:
        return std::nullopt;
    }
}

void GraflinkVariable::setAppleScriptActionName(const std::optional<QString>& name) {
    if (m_appleScriptActionName == name)
        return;
    m_appleScriptActionName = name;
    Q_EMIT appleScriptActionNameChanged();
}

QString GraflinkVariable::description() const {
    const auto text = [](const std::optional<QString>& value) {
        return value ? QVariant(*value) : QVariant();
    };
    return platform::StringFormat::format(QStringLiteral("%@ / %@"),
                                          QVariantList{text(m_CGProjectName), text(m_CGProjectItemName)});
}
