#include "datasource/NVSCGDataSourceColumn.h"

#include "datasource/NVSCGDataSourceConstants.h"
#include "datasource/NVSCGDataSourceLog.h"
#include "platform/Uuid.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

namespace {

xmlNodePtr firstChildElement(xmlNodePtr parent, const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    for (xmlNodePtr child = parent ? parent->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE &&
            xmlStrEqual(child->name, reinterpret_cast<const xmlChar*>(utf8.constData())))
            return child;
    }
    return nullptr;
}

QString emptyWhenNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

NVSCGDataSourceColumn::NVSCGDataSourceColumn()
    : m_uniqueID(platform::Uuid::createString()), m_format(QStringLiteral("")) {}

NVSCGDataSourceColumn::NVSCGDataSourceColumn(const QString& title, const QString& identifier)
    : NVSCGDataSourceColumn() {
    m_title = title;
    m_identifier = identifier;
}

NVSCGDataSourceColumn::NVSCGDataSourceColumn(const QVariantMap& dictionary) : NVSCGDataSourceColumn() {
    const auto stringValue = [&](const QString& key, QString& field) {
        const QVariant value = dictionary.value(key);
        if (value.typeId() == QMetaType::QString)
            field = value.toString();
    };
    stringValue(NVSCGDataSourceColumnTitleKey, m_title);
    stringValue(NVSCGDataSourceColumnIdentifierKey, m_identifier);
    stringValue(NVSCGDataSourceColumnUniqueIDKey, m_uniqueID);
    stringValue(NVSCGDataSourceColumnFormatKey, m_format);
    const QVariant type = dictionary.value(NVSCGDataSourceColumnTypeKey);
    switch (type.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Short:
    case QMetaType::UShort:
        // Read as a 32-bit integer, as the dictionary form stores it.
        m_type = static_cast<uint>(static_cast<qint32>(type.toLongLong()));
        break;
    default:
        break;
    }
}

NVSCGDataSourceColumn::NVSCGDataSourceColumn(xmlNodePtr element) : NVSCGDataSourceColumn() {
    const auto text = [&](const QString& name) -> std::optional<QString> {
        xmlNodePtr child = firstChildElement(element, name);
        if (!child)
            return std::nullopt;
        return platform::XPathEvaluator::stringValue(child);
    };
    if (auto value = text(NVSCGDataSourceColumnTitleKey))
        m_title = *value;
    if (auto value = text(NVSCGDataSourceColumnIdentifierKey))
        m_identifier = *value;
    if (auto value = text(NVSCGDataSourceColumnTypeKey))
        m_type = columnTypeFromString(*value);
    if (auto value = text(NVSCGDataSourceColumnUniqueIDKey))
        m_uniqueID = *value;
    if (auto value = text(NVSCGDataSourceColumnFormatKey))
        m_format = *value;
}

QString NVSCGDataSourceColumn::title() const {
    QMutexLocker lock(&m_mutex);
    return m_title;
}

QString NVSCGDataSourceColumn::identifier() const {
    QMutexLocker lock(&m_mutex);
    return m_identifier;
}

QString NVSCGDataSourceColumn::uniqueID() const {
    QMutexLocker lock(&m_mutex);
    return m_uniqueID;
}

QString NVSCGDataSourceColumn::format() const {
    QMutexLocker lock(&m_mutex);
    return m_format;
}

uint NVSCGDataSourceColumn::type() const {
    QMutexLocker lock(&m_mutex);
    return m_type;
}

bool NVSCGDataSourceColumn::assign(QString NVSCGDataSourceColumn::*field, const QString& value) {
    QMutexLocker lock(&m_mutex);
    QString& stored = this->*field;
    if (stored == value && stored.isNull() == value.isNull())
        return false;
    stored = value;
    return true;
}

void NVSCGDataSourceColumn::setTitle(const QString& title) {
    if (assign(&NVSCGDataSourceColumn::m_title, title))
        Q_EMIT titleChanged();
}

void NVSCGDataSourceColumn::setIdentifier(const QString& identifier) {
    if (assign(&NVSCGDataSourceColumn::m_identifier, identifier))
        Q_EMIT identifierChanged();
}

void NVSCGDataSourceColumn::setUniqueID(const QString& uniqueID) {
    if (assign(&NVSCGDataSourceColumn::m_uniqueID, uniqueID))
        Q_EMIT uniqueIDChanged();
}

void NVSCGDataSourceColumn::setFormat(const QString& format) {
    if (assign(&NVSCGDataSourceColumn::m_format, format))
        Q_EMIT formatChanged();
}

void NVSCGDataSourceColumn::setType(uint type) {
    {
        QMutexLocker lock(&m_mutex);
        if (m_type == type)
            return;
        m_type = type;
    }
    Q_EMIT typeChanged();
}

void NVSCGDataSourceColumn::generateNewUUID() {
    setUniqueID(platform::Uuid::createString());
}

QVariantMap NVSCGDataSourceColumn::dictionaryRepresentation() const {
    QMutexLocker lock(&m_mutex);
    return {{NVSCGDataSourceColumnTitleKey, emptyWhenNull(m_title)},
            {NVSCGDataSourceColumnIdentifierKey, emptyWhenNull(m_identifier)},
            {NVSCGDataSourceColumnTypeKey, m_type},
            {NVSCGDataSourceColumnUniqueIDKey, emptyWhenNull(m_uniqueID)},
            {NVSCGDataSourceColumnFormatKey, emptyWhenNull(m_format)}};
}

xmlNodePtr NVSCGDataSourceColumn::XMLElement(xmlNodePtr parent) const {
    using platform::XmlDocument;
    xmlNodePtr element = XmlDocument::addElement(parent, NVSCGDataColumnKey);
    QMutexLocker lock(&m_mutex);
    XmlDocument::addElement(element, NVSCGDataSourceColumnTitleKey, emptyWhenNull(m_title));
    XmlDocument::addElement(element, NVSCGDataSourceColumnIdentifierKey, emptyWhenNull(m_identifier));
    XmlDocument::addElement(element, NVSCGDataSourceColumnTypeKey, stringFromColumnType(m_type));
    XmlDocument::addElement(element, NVSCGDataSourceColumnUniqueIDKey, emptyWhenNull(m_uniqueID));
    XmlDocument::addElement(element, NVSCGDataSourceColumnFormatKey, emptyWhenNull(m_format));
    return element;
}

QString NVSCGDataSourceColumn::stringFromColumnType(uint type) {
    switch (type) {
    case Text:
        return NVSCGDataSourceTypeText;
    case Image:
        return NVSCGDataSourceTypeImage;
    case Color:
        return NVSCGDataSourceTypeColor;
    default:
        return QStringLiteral("Unknown Type");
    }
}

uint NVSCGDataSourceColumn::columnTypeFromString(const QString& text) {
    if (text == NVSCGDataSourceTypeText)
        return Text;
    if (text == NVSCGDataSourceTypeImage)
        return Image;
    if (text == NVSCGDataSourceTypeColor)
        return Color;
    NVSCGDataSourceLog::format(QStringLiteral("No Column type found for stringValue %@"), text);
    return Text;
}
