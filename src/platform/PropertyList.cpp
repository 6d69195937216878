#include "platform/PropertyList.h"

#include "platform/CNumericLocale.h"
#include "platform/XmlPropertyListReader.h"

#include <QDateTime>
#include <QStringList>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace platform {

namespace {

// Property-list dates count seconds from 2001-01-01T00:00:00Z.
constexpr qint64 ReferenceDateMSecsSinceEpoch = 978307200000LL;

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

struct MallocDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

Error failure(const QString& description) {
    return Error::make(Error::PropertyListDomain, 1, description);
}

QString takeString(char* text) {
    std::unique_ptr<char, MallocDeleter> owner(text);
    return text ? QString::fromUtf8(text) : QStringLiteral("");
}

quint64 bigEndianNumber(const uchar* bytes, int size) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

bool binaryListHoldsStringWithNul(const QByteArray& bytes) {
    constexpr qsizetype TrailerSize = 32;
    if (!bytes.startsWith("bplist") || bytes.size() < 8 + TrailerSize)
        return false;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = quint64(bytes.size());
    const uchar* trailer = data + size - TrailerSize;
    const int offsetSize = trailer[6];
    const quint64 objectCount = bigEndianNumber(trailer + 8, 8);
    const quint64 tableOffset = bigEndianNumber(trailer + 24, 8);
    // Tables libplist cannot use it refuses by itself.
    if (offsetSize < 1 || offsetSize > 8 || tableOffset >= size ||
        objectCount > (size - tableOffset) / offsetSize)
        return false;
    quint64 scanned = 0;
    for (quint64 i = 0; i < objectCount; ++i) {
        const quint64 offset = bigEndianNumber(data + tableOffset + i * offsetSize, offsetSize);
        if (offset >= size)
            continue;
        const int type = data[offset] >> 4;
        if (type != 0x5 && type != 0x6) // ASCII and UTF-16 strings
            continue;
        quint64 count = data[offset] & 0xF;
        quint64 start = offset + 1;
        if (count == 0xF) {
            if (start >= size || (data[start] >> 4) != 0x1)
                continue;
            const int countSize = 1 << (data[start] & 0xF);
            if (countSize > 8 || start + 1 + countSize > size)
                continue;
            count = bigEndianNumber(data + start + 1, countSize);
            start += 1 + countSize;
        }
        const quint64 unitSize = type == 0x6 ? 2 : 1;
        if (count > (size - start) / unitSize)
            continue;
        // Objects of a sound list do not overlap; overlapping ones must not make this quadratic.
        scanned += count * unitSize;
        if (scanned > size)
            return true;
        for (quint64 unit = 0; unit < count; ++unit) {
            const uchar* at = data + start + unit * unitSize;
            if (at[0] == 0 && (unitSize == 1 || at[1] == 0))
                return true;
        }
    }
    return false;
}

/// libplist 2.2 aborts on an assertion when it hands out a string or key holding U+0000. A
/// binary list can carry one in a string object; an XML list only as a raw NUL byte, which XML
/// forbids anywhere. Such lists (and binary ones whose string objects overlap) are refused as
/// damaged before libplist converts them.
bool holdsStringWithNul(const QByteArray& bytes) {
    if (!bytes.startsWith("bplist"))
        return bytes.contains('\0');
    return binaryListHoldsStringWithNul(bytes);
}

std::optional<QVariant> toVariant(plist_t node, int depth, Error* error) {
    if (depth > PropertyList::MaximumNestingDepth) {
        setError(error, failure(QStringLiteral("The property list nests too deeply.")));
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            const QString name = takeString(key);
            std::optional<QVariant> converted = toVariant(item, depth + 1, error);
            if (!converted)
                return std::nullopt;
            map.insert(name, std::move(*converted));
        }
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        list.reserve(plist_array_get_size(node));
        plist_array_iter iterator = nullptr;
        plist_array_new_iter(node, &iterator);
        std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, iterator, &item);
            if (!item)
                break;
            std::optional<QVariant> converted = toVariant(item, depth + 1, error);
            if (!converted)
                return std::nullopt;
            list.append(std::move(*converted));
        }
        return list;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        return takeString(text);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // libplist keeps every integer unsigned; signed values were stored through this cast.
        return static_cast<qint64>(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        std::unique_ptr<char, MallocDeleter> owner(bytes);
        if (!bytes || length == 0)
            return QByteArray();
        return QByteArray(bytes, qsizetype(length));
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return QDateTime::fromMSecsSinceEpoch(
            ReferenceDateMSecsSinceEpoch + qint64(seconds) * 1000 + microseconds / 1000, Qt::UTC);
    }
    default:
        setError(error,
                 failure(QStringLiteral("The property list holds a value of a type that is not supported.")));
        return std::nullopt;
    }
}

bool isWritableText(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            return false;
    }
    return true;
}

Node fromVariant(const QVariant& value, int depth, Error* error);

Node stringNode(const QString& text, Error* error) {
    if (!isWritableText(text)) {
        setError(error, failure(QStringLiteral(
                            "A string with control characters cannot be written to a property list.")));
        return nullptr;
    }
    return Node(plist_new_string(text.toUtf8().constData()));
}

template <typename Map> Node dictionaryNode(const Map& map, int depth, Error* error) {
    Node dictionary(plist_new_dict());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!isWritableText(it.key())) {
            setError(error, failure(QStringLiteral(
                                "A key with control characters cannot be written to a property list.")));
            return nullptr;
        }
        Node item = fromVariant(it.value(), depth + 1, error);
        if (!item)
            return nullptr;
        plist_dict_set_item(dictionary.get(), it.key().toUtf8().constData(), item.release());
    }
    return dictionary;
}

Node fromVariant(const QVariant& value, int depth, Error* error) {
    if (depth > PropertyList::MaximumNestingDepth) {
        setError(error, failure(QStringLiteral("The value nests too deeply for a property list.")));
        return nullptr;
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        return dictionaryNode(value.toMap(), depth, error);
    case QMetaType::QVariantHash:
        return dictionaryNode(value.toHash(), depth, error);
    case QMetaType::QVariantList: {
        Node array(plist_new_array());
        for (const QVariant& item : value.toList()) {
            Node child = fromVariant(item, depth + 1, error);
            if (!child)
                return nullptr;
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QStringList: {
        Node array(plist_new_array());
        for (const QString& item : value.toStringList()) {
            Node child = stringNode(item, error);
            if (!child)
                return nullptr;
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QString:
        return stringNode(value.toString(), error);
    case QMetaType::Bool:
        return Node(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        // Stored unsigned; reading casts back, which restores negative values.
        return Node(plist_new_uint(static_cast<uint64_t>(value.toLongLong())));
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > qulonglong(std::numeric_limits<qint64>::max())) {
            setError(error,
                     failure(QStringLiteral("The integer %1 is too large for a property list.").arg(number)));
            return nullptr;
        }
        return Node(plist_new_uint(number));
    }
    case QMetaType::Float:
    case QMetaType::Double:
        return Node(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return Node(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid()) {
            setError(error, failure(QStringLiteral("An invalid date cannot be written to a property list.")));
            return nullptr;
        }
        const qint64 milliseconds = date.toMSecsSinceEpoch() - ReferenceDateMSecsSinceEpoch;
        const qint64 seconds = milliseconds >= 0 ? milliseconds / 1000 : -((-milliseconds + 999) / 1000);
        if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max()) {
            setError(error,
                     failure(QStringLiteral("The date %1 is outside the range a property list can hold.")
                                 .arg(date.toUTC().toString(Qt::ISODate))));
            return nullptr;
        }
        // Whole seconds: the XML format has no finer resolution.
        return Node(plist_new_date(int32_t(seconds), 0));
    }
    default:
        setError(error, failure(QStringLiteral("A value of type %1 cannot be written to a property list.")
                                    .arg(value.isValid() ? QString::fromLatin1(value.typeName())
                                                         : QStringLiteral("(none)"))));
        return nullptr;
    }
}

} // namespace

std::optional<QVariant> PropertyList::read(const QByteArray& bytes, Error* error) {
    if (bytes.isEmpty() || bytes.size() > qsizetype(std::numeric_limits<uint32_t>::max())) {
        setError(error, failure(QStringLiteral("The data is not a property list.")));
        return std::nullopt;
    }
    if (holdsStringWithNul(bytes)) {
        setError(error,
                 failure(QStringLiteral("The property list is damaged: a string holds a NUL character.")));
        return std::nullopt;
    }
    // The usual XML form is read straight into values; what that reader leaves, libplist reads.
    if (std::optional<QVariant> value = XmlPropertyListReader::read(bytes, MaximumNestingDepth))
        return value;
    plist_t root = nullptr;
    {
        // libplist reads a real with strtod, in the thread's locale; lists are written with a
        // decimal point whatever the locale.
        const CNumericLocale::Scope cLocale;
        // libplist 2.2 reports failure only by leaving the node null.
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    }
    Node owner(root);
    if (!root) {
        setError(error, failure(QStringLiteral("The data is not a property list, or it is damaged.")));
        return std::nullopt;
    }
    return toVariant(root, 0, error);
}

QByteArray PropertyList::writeXml(const QVariant& value, Error* error) {
    Node root = fromVariant(value, 0, error);
    if (!root)
        return QByteArray();
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml || length == 0) {
        plist_to_xml_free(xml);
        setError(error, failure(QStringLiteral("The property list could not be written.")));
        return QByteArray();
    }
    QByteArray result(xml, qsizetype(length));
    plist_to_xml_free(xml);
    return result;
}

} // namespace platform
