#include "datasource/NVSCGDataSourceNode.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceColumn.h"
#include "datasource/NVSCGDataSourceFeed.h"
#include "datasource/NVSCGDataSourceLog.h"
#include "datasource/NVSCGDataSourceNodeNotifier.h"
#include "datasource/NVSCGDataSourceTokenizer.h"
#include "platform/StringFormat.h"
#include "platform/XPathEvaluator.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

namespace {

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString jsonLeafValue(const nlohmann::ordered_json& value) {
    using Type = nlohmann::ordered_json::value_t;
    switch (value.type()) {
    case Type::string:
        return fromStd(value.get_ref<const std::string&>());
    case Type::null:
        return QStringLiteral("null");
    case Type::boolean:
        return value.get<bool>() ? QStringLiteral("true") : QStringLiteral("false");
    case Type::number_integer:
    case Type::number_unsigned:
    case Type::number_float:
        return fromStd(value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    default:
        return QStringLiteral("");
    }
}

bool hasElementChild(xmlNodePtr element) {
    for (xmlNodePtr child = element->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            return true;
    }
    return false;
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

NVSCGDataSourceNode::NVSCGDataSourceNode(std::shared_ptr<NVSCGDataSourceFeed> feed, xmlNodePtr element)
    : m_feed(std::move(feed)), m_element(element), m_selectable(!hasElementChild(element)),
      m_childrenMade(false) {}

NVSCGDataSourceNode::NVSCGDataSourceNode(const JsonValue& value, const QString& title, const QString& XPath)
    : m_json(std::make_unique<JsonData>()) {
    m_json->title = title;
    m_json->XPath = XPath;
    if (value.is_array()) {
        m_children = dataSourceNodesFromJSONArray(value, XPath);
        m_json->stringValue = QStringLiteral("");
    } else if (value.is_object()) {
        m_children = dataSourceNodesFromJSONDictionary(value, XPath);
        m_json->stringValue = QStringLiteral("");
    } else {
        m_json->stringValue = jsonLeafValue(value);
        m_selectable = true;
    }
}

NVSCGDataSourceNode::~NVSCGDataSourceNode() = default;

std::vector<NVSCGDataSourceNodePtr>
NVSCGDataSourceNode::dataSourceNodesFromJSONArray(const JsonValue& array, const QString& arrayXPath) {
    std::vector<NVSCGDataSourceNodePtr> nodes;
    if (!array.is_array())
        return nodes;
    nodes.reserve(array.size());
    std::size_t index = 0;
    for (const JsonValue& element : array) {
        nodes.push_back(std::make_shared<NVSCGDataSourceNode>(
            element, platform::StringFormat::format(QStringLiteral("Index %zu"), index),
            QString(arrayXPath + QLatin1Char('/') + QString::number(index))));
        ++index;
    }
    return nodes;
}

std::vector<NVSCGDataSourceNodePtr>
NVSCGDataSourceNode::dataSourceNodesFromJSONDictionary(const JsonValue& object, const QString& dictXPath) {
    std::vector<NVSCGDataSourceNodePtr> nodes;
    if (!object.is_object())
        return nodes;
    nodes.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = fromStd(it.key());
        nodes.push_back(std::make_shared<NVSCGDataSourceNode>(it.value(), key,
                                                              QString(dictXPath + QLatin1Char('/') + key)));
    }
    return nodes;
}

const std::vector<NVSCGDataSourceNodePtr>& NVSCGDataSourceNode::children() const {
    if (!m_childrenMade) {
        m_childrenMade = true;
        makeChildren();
    }
    return m_children;
}

void NVSCGDataSourceNode::makeChildren() const {
    std::size_t count = 0;
    for (xmlNodePtr child = m_element->children; child; child = child->next)
        count += child->type == XML_ELEMENT_NODE ? 1 : 0;
    if (count == 0)
        return;
    // Selected: a column of the owner reads this element (the rule the owner applies to every
    // node it has made when its columns or rows change).
    NVSCGDataSource* owner = m_feed->owner();
    const QSet<QString> identifiers = owner ? owner->columnIdentifiers() : QSet<QString>();
    const QString X = owner ? owner->XPath() : QString();
    m_children.reserve(count);
    for (xmlNodePtr child = m_element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        auto node = std::make_shared<NVSCGDataSourceNode>(m_feed, child);
        node->m_dataSource = m_dataSource;
        if (!identifiers.isEmpty())
            node->m_selected =
                identifiers.contains(node->wildcardXPathFromDataSourceXPath(X, owner->addressesRowsByName()));
        m_children.push_back(std::move(node));
    }
}

std::vector<NVSCGDataSourceNodePtr> NVSCGDataSourceNode::childNodes() const {
    std::vector<NVSCGDataSourceNodePtr> nodes;
    const std::function<void(const NVSCGDataSourceNode&)> collect = [&](const NVSCGDataSourceNode& node) {
        for (const NVSCGDataSourceNodePtr& child : node.children()) {
            nodes.push_back(child);
            collect(*child);
        }
    };
    collect(*this);
    return nodes;
}

QString NVSCGDataSourceNode::title() const {
    if (m_json)
        return m_json->title;
    return QString::fromUtf8(reinterpret_cast<const char*>(m_element->name));
}

QString NVSCGDataSourceNode::stringValue() const {
    if (m_json)
        return m_json->stringValue;
    if (hasElementChild(m_element))
        return QStringLiteral("");
    return platform::XPathEvaluator::stringValue(m_element);
}

QString NVSCGDataSourceNode::XPath() const {
    if (m_json)
        return m_json->XPath;
    return m_XPath.isNull() ? NVSCGDataSourceFeed::locationPath(m_element) : m_XPath;
}

QString NVSCGDataSourceNode::namedXPath() const {
    return m_element ? NVSCGDataSourceFeed::namedLocationPath(m_element) : QString();
}

const QString& NVSCGDataSourceNode::cachedXPath() const {
    if (m_json)
        return m_json->XPath;
    if (m_XPath.isNull())
        m_XPath = NVSCGDataSourceFeed::locationPath(m_element);
    return m_XPath;
}

void NVSCGDataSourceNode::setSelected(bool selected) {
    if (m_selected == selected)
        return;
    m_selected = selected;
    if (m_notifier)
        Q_EMIT m_notifier->selectedChanged(selected);
}

void NVSCGDataSourceNode::setRowIndex(std::size_t rowIndex) {
    if (m_rowIndex == rowIndex)
        return;
    const bool wasActive = m_notifier && isActiveRow();
    m_rowIndex = rowIndex;
    if (m_notifier && wasActive != isActiveRow())
        Q_EMIT m_notifier->isActiveRowChanged(!wasActive);
}

bool NVSCGDataSourceNode::isActiveRow() const {
    return m_dataSource && m_dataSource->isActiveRowIndex(m_rowIndex);
}

void NVSCGDataSourceNode::announceActiveRowChange() {
    if (m_notifier)
        Q_EMIT m_notifier->isActiveRowChanged(isActiveRow());
}

NVSCGDataSourceNodeNotifier* NVSCGDataSourceNode::notifier() {
    if (!m_notifier)
        m_notifier = std::make_unique<NVSCGDataSourceNodeNotifier>();
    return m_notifier.get();
}

QString NVSCGDataSourceNode::wildcardXPath(const QString& nodeXPath, const QString& dataSourceXPath) {
    const qsizetype wildcard = dataSourceXPath.lastIndexOf(QLatin1String("[*]"));
    if (wildcard < 0)
        return nodeXPath;
    const QStringView prefix = QStringView(dataSourceXPath).left(wildcard);
    if (nodeXPath.size() < prefix.size() ||
        QStringView(nodeXPath).left(prefix.size()).compare(prefix, Qt::CaseInsensitive) != 0)
        return nodeXPath;
    const qsizetype at = prefix.size();
    // The only instance of the repeating element carries no position predicate; it is still
    // the instance the wildcard stands for, so that a feed with one race gives its one row.
    if (at == nodeXPath.size() || nodeXPath.at(at) == QLatin1Char('/'))
        return QString(nodeXPath.left(at) + QStringLiteral("[*]") + nodeXPath.mid(at));
    if (nodeXPath.at(at) != QLatin1Char('['))
        return nodeXPath;
    const qsizetype numberStart = at + 1;
    qsizetype end = numberStart;
    if (end < nodeXPath.size() &&
        (nodeXPath.at(end) == QLatin1Char('+') || nodeXPath.at(end) == QLatin1Char('-')))
        ++end;
    const qsizetype digitsStart = end;
    while (end < nodeXPath.size() && isAsciiDigit(nodeXPath.at(end)))
        ++end;
    if (end == digitsStart)
        return nodeXPath;
    return QString(nodeXPath.left(numberStart) + QLatin1Char('*') + nodeXPath.mid(end));
}

QString NVSCGDataSourceNode::wildcardXPathFromDataSourceXPath(const std::optional<QString>& dataSourceXPath) {
    return wildcardXPathFromDataSourceXPath(dataSourceXPath,
                                            m_dataSource && m_dataSource->addressesRowsByName());
}

QString NVSCGDataSourceNode::wildcardXPathFromDataSourceXPath(const std::optional<QString>& dataSourceXPath,
                                                              bool byName) {
    const QString X = dataSourceXPath ? *dataSourceXPath : (m_dataSource ? m_dataSource->XPath() : QString());
    if (!m_wildcardXPath.isNull() && m_wildcardSource == X && m_wildcardSource.isNull() == X.isNull() &&
        m_wildcardByName == byName)
        return m_wildcardXPath;
    // The path is not kept for every node (memory); rows keep theirs once asked for cells.
    const QString named = byName ? namedXPath() : QString();
    QString result = wildcardXPath(named.isNull() ? XPath() : named, X);
    if (result == X)
        result = X;
    else if (m_feed)
        result = m_feed->intern(result);
    m_wildcardXPath = result;
    m_wildcardSource = X;
    m_wildcardByName = byName;
    return m_wildcardXPath;
}

QString NVSCGDataSourceNode::stringValueForXPath(const QString& requested) const {
    QString path = cachedXPath();
    if (!requested.startsWith(path)) {
        // Rows addressed by name ("/feed/entry[2]/title") in a feed with a default namespace.
        const QString named = namedXPath();
        if (named.isNull() || !requested.startsWith(named)) {
            NVSCGDataSourceLog::format(
                QStringLiteral("Invalid request. Requesting XPath %@ while Node XPath is %@"), requested,
                path);
            return QStringLiteral("");
        }
        path = named;
    }
    if (requested.size() <= path.size())
        return QStringLiteral("");
    QStringView rest = QStringView(requested).mid(path.size());
    // A column names the only instance of a repeated element "[1]"; its own path has no predicate.
    if (rest.startsWith(u"[1]") && !path.endsWith(QLatin1Char(']')))
        rest = rest.mid(3);
    // Anything but a step below this node ("/feed/race" asked for "/feed/races/x") would be
    // evaluated as some other path, giving a value from elsewhere in the feed.
    if (!rest.startsWith(QLatin1Char('/'))) {
        NVSCGDataSourceLog::format(
            QStringLiteral("Invalid request. Requesting XPath %@ while Node XPath is %@"), requested, path);
        return QStringLiteral("");
    }
    return stringValueForRelativeXPath(rest.mid(1).toString());
}

QString NVSCGDataSourceNode::stringValueForRelativeXPath(const QString& relative) const {
    if (relative.isEmpty() || !m_element || !m_feed)
        return QStringLiteral("");
    return m_feed->firstStringValue(relative, m_element).value_or(QStringLiteral(""));
}

QString NVSCGDataSourceNode::stringValueForColum(const NVSCGDataSourceColumn& column,
                                                 bool ignoringFormat) const {
    std::vector<const NVSCGDataSourceColumn*> expanding;
    return stringValueForColum(column, ignoringFormat, expanding);
}

QString NVSCGDataSourceNode::stringValueForColum(const NVSCGDataSourceColumn& column, bool ignoringFormat,
                                                 std::vector<const NVSCGDataSourceColumn*>& expanding) const {
    const QString format = ignoringFormat ? QString() : column.format();
    if (!format.isEmpty()) {
        expanding.push_back(&column);
        QString result;
        for (const NVSCGDataSourceTokenizer::Item& item : NVSCGDataSourceTokenizer::split(format)) {
            if (!item.isToken) {
                result.append(item.text);
                continue;
            }
            const NVSCGDataSourceColumnPtr referenced =
                m_dataSource ? m_dataSource->columnWithUniqueID(item.uniqueID().toString()) : nullptr;
            if (!referenced)
                continue;
            // A column already being expanded (itself, or a cycle through others) gives its feed value.
            const bool raw =
                std::find(expanding.begin(), expanding.end(), referenced.get()) != expanding.end();
            result.append(stringValueForColum(*referenced, raw, expanding));
        }
        expanding.pop_back();
        return result;
    }
    QString identifier = column.identifier();
    const QString number = QString::number(m_rowIndex + 1);
    // The usual column: this row's own path (its wildcard for the row number), then a path below
    // it. That part is read from the row's element at once, without the whole path being built.
    const qsizetype below = pathBelowRow(identifier, cachedXPath(), number);
    if (below > 0)
        return stringValueForRelativeXPath(identifier.mid(below));
    identifier.replace(QLatin1Char('*'), number);
    return stringValueForXPath(identifier);
}

qsizetype NVSCGDataSourceNode::pathBelowRow(QStringView identifier, QStringView rowPath, QStringView number) {
    qsizetype at = 0;
    qsizetype matched = 0;
    while (matched < rowPath.size()) {
        if (at == identifier.size())
            return -1;
        if (identifier[at] == QLatin1Char('*')) {
            if (!rowPath.sliced(matched).startsWith(number))
                return -1;
            matched += number.size();
        } else if (identifier[at] == rowPath[matched]) {
            ++matched;
        } else {
            return -1;
        }
        ++at;
    }
    const QStringView rest = identifier.sliced(at);
    if (rest.size() < 2 || rest[0] != QLatin1Char('/') || rest.contains(QLatin1Char('*')))
        return -1;
    return at + 1;
}

bool NVSCGDataSourceNode::isEqual(const NVSCGDataSourceNode& other) const {
    return m_element && m_element == other.m_element;
}

QString NVSCGDataSourceNode::debugDescription() const {
    return platform::StringFormat::format(
        QStringLiteral("%@, %@ %@ childCount %zu"),
        QStringLiteral("<NVSCGDataSourceNode: 0x%1>").arg(quintptr(this), 0, 16), title(), stringValue(),
        quint64(m_children.size()));
}
