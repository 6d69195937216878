#include "platform/Json.h"

#include "platform/JsonFeed.h"

#include <QStringList>
#include <nlohmann/json.hpp>
#include <string_view>

namespace platform {

namespace {

const QString ByteOffsetKey = QStringLiteral("byteOffset");

// The byte offset at which `bytes` nests deeper than `limit`, or -1. Counting brackets outside
// strings is enough: anything else malformed is the parser's business.
qsizetype excessiveNestingOffset(const QByteArray& bytes, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > limit)
                return i;
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return -1;
}

Error parseError(int code, qsizetype byteOffset, const QString& reason) {
    return Error(Error::JsonDomain, code,
                 {{Error::LocalizedDescriptionKey,
                   QStringLiteral("The JSON text is not valid at byte %1: %2").arg(byteOffset).arg(reason)},
                  {ByteOffsetKey, qint64(byteOffset)}});
}

QString fromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string toStd(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), std::size_t(utf8.size()));
}

JsonValue convert(const QVariant& value, Error* error, bool& failed) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return nullptr;
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return value.toULongLong();
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QString:
    case QMetaType::QChar:
        return toStd(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    }
    case QMetaType::QStringList: {
        JsonValue array = JsonValue::array();
        for (const QString& item : value.toStringList())
            array.push_back(toStd(item));
        return array;
    }
    case QMetaType::QVariantList: {
        JsonValue array = JsonValue::array();
        for (const QVariant& item : value.toList())
            array.push_back(convert(item, error, failed));
        return array;
    }
    case QMetaType::QVariantMap: {
        JsonValue object = JsonValue::object();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object[toStd(it.key())] = convert(it.value(), error, failed);
        return object;
    }
    case QMetaType::QVariantHash: {
        JsonValue object = JsonValue::object();
        const QVariantHash hash = value.toHash();
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            object[toStd(it.key())] = convert(it.value(), error, failed);
        return object;
    }
    default:
        if (!failed) {
            failed = true;
            setError(error, Error::make(Error::JsonDomain, 1,
                                        QStringLiteral("A value of type %1 has no JSON form.")
                                            .arg(QString::fromLatin1(value.typeName()))));
        }
        return nullptr;
    }
}

} // namespace

std::optional<JsonValue> parseJson(const QByteArray& bytes, Error* error) {
    // simdjson reads nearly every feed several times faster; what it refuses, nlohmann's parser
    // decides on and words the error for.
    if (const std::unique_ptr<JsonFeed> feed = JsonFeed::parse(bytes))
        return feed->toJsonValue();
    const qsizetype tooDeep = excessiveNestingOffset(bytes, MaximumJsonNestingDepth);
    if (tooDeep >= 0) {
        setError(error, parseError(0, tooDeep,
                                   QStringLiteral("arrays and objects nest deeper than %1 levels")
                                       .arg(MaximumJsonNestingDepth)));
        return std::nullopt;
    }
    try {
        return JsonValue::parse(bytes.constBegin(), bytes.constEnd());
    } catch (const JsonValue::parse_error& e) {
        // what() is "[json.exception.parse_error.101] parse error at line 1, column 6: ..."
        std::string_view reason(e.what());
        if (const auto end = reason.find("] "); reason.starts_with('[') && end != std::string_view::npos)
            reason.remove_prefix(end + 2);
        // nlohmann counts bytes from one, the end of the input being one past the last byte.
        setError(error, parseError(e.id, e.byte > 0 ? qsizetype(e.byte - 1) : 0,
                                   QString::fromUtf8(reason.data(), qsizetype(reason.size()))));
    } catch (const std::exception& e) {
        setError(error, parseError(0, 0, QString::fromUtf8(e.what())));
    }
    return std::nullopt;
}

QString valueText(const std::optional<JsonValue>& value) {
    if (!value)
        return {};
    if (value->is_string())
        return QString::fromStdString(value->get_ref<const std::string&>());
    return QString::fromUtf8(toJsonBytes(*value));
}

QByteArray toJsonBytes(const JsonValue& value, bool pretty) {
    try {
        const std::string text = value.dump(pretty ? 2 : -1, ' ', false, JsonValue::error_handler_t::replace);
        return QByteArray(text.data(), qsizetype(text.size()));
    } catch (const std::exception&) {
        // With the replacing error handler only an allocation failure is left.
        return QByteArray();
    }
}

void appendJsonString(QByteArray& out, QStringView text) {
    static constexpr char Hex[] = "0123456789abcdef";
    out.append('"');
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype plain = i;
        while (plain < text.size() && text[plain].unicode() >= 0x20 && text[plain].unicode() < 0x80 &&
               text[plain] != u'"' && text[plain] != u'\\')
            ++plain;
        if (plain > i) {
            const qsizetype start = out.size();
            out.resize(start + plain - i);
            char* bytes = out.data() + start;
            for (; i < plain; ++i)
                *bytes++ = char(text[i].unicode());
            continue;
        }
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            // A run of other characters goes through Qt's own encoder (surrogates included).
            qsizetype end = i + 1;
            while (end < text.size() && text[end].unicode() >= 0x80)
                ++end;
            out.append(text.sliced(i, end - i).toUtf8());
            i = end;
            continue;
        }
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\b':
            out.append("\\b", 2);
            break;
        case '\f':
            out.append("\\f", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default: {
            const char escape[] = {'\\', 'u', '0', '0', Hex[c >> 4], Hex[c & 0xF]};
            out.append(escape, sizeof escape);
        }
        }
        ++i;
    }
    out.append('"');
}

QVariant jsonToVariant(const JsonValue& value) {
    switch (value.type()) {
    case JsonValue::value_t::null:
        return QVariant::fromValue(nullptr);
    case JsonValue::value_t::boolean:
        return value.get<bool>();
    case JsonValue::value_t::number_integer:
        return qint64(value.get<std::int64_t>());
    case JsonValue::value_t::number_unsigned: {
        const auto number = value.get<std::uint64_t>();
        if (number <= std::uint64_t(std::numeric_limits<qint64>::max()))
            return qint64(number);
        return quint64(number);
    }
    case JsonValue::value_t::number_float:
        return value.get<double>();
    case JsonValue::value_t::string:
        return fromStd(value.get_ref<const std::string&>());
    case JsonValue::value_t::array: {
        QVariantList list;
        list.reserve(qsizetype(value.size()));
        for (const JsonValue& item : value)
            list.append(jsonToVariant(item));
        return list;
    }
    case JsonValue::value_t::object: {
        QVariantMap map;
        for (auto it = value.begin(); it != value.end(); ++it)
            map.insert(fromStd(it.key()), jsonToVariant(it.value()));
        return map;
    }
    case JsonValue::value_t::binary: {
        const auto& binary = value.get_binary();
        return QByteArray(reinterpret_cast<const char*>(binary.data()), qsizetype(binary.size()));
    }
    case JsonValue::value_t::discarded:
        break;
    }
    return QVariant();
}

JsonValue variantToJson(const QVariant& value, Error* error) {
    bool failed = false;
    return convert(value, error, failed);
}

} // namespace platform
