#include "platform/JsonFeed.h"

#include "platform/JsonPathEvaluator.h"
#include "platform/JsonPathQuery.h"
#include "platform/JsonTapeNodes.h"
#include "platform/SimdjsonPadding.h"
#include "platform/ValueReadings.h"

#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

static_assert(SimdjsonPaddingBytes == qsizetype(simdjson::SIMDJSON_PADDING));

// Arrays at least this long get their elements listed on the first lookup by index: simdjson
// finds the n-th element by stepping over the n before it.
constexpr std::size_t IndexedArrayLength = 32;

JsonValue toJson(element value) {
    switch (value.type()) {
    case element_type::ARRAY: {
        JsonValue array = JsonValue::array();
        const simdjson::dom::array items = value.get_array().value_unsafe();
        for (element item : items)
            array.push_back(toJson(item));
        return array;
    }
    case element_type::OBJECT: {
        JsonValue object = JsonValue::object();
        // Assignment, as nlohmann's parser does: of equal keys the last value wins, in the place
        // of the first.
        const simdjson::dom::object members = value.get_object().value_unsafe();
        for (simdjson::dom::key_value_pair member : members)
            object[std::string(member.key)] = toJson(member.value);
        return object;
    }
    case element_type::INT64: {
        // nlohmann reads integers without a sign as unsigned.
        const std::int64_t number = value.get_int64().value_unsafe();
        if (number >= 0)
            return JsonValue(static_cast<std::uint64_t>(number));
        return JsonValue(number);
    }
    case element_type::UINT64:
        return JsonValue(value.get_uint64().value_unsafe());
    case element_type::DOUBLE:
        return JsonValue(value.get_double().value_unsafe());
    case element_type::STRING: {
        const std::string_view text = value.get_string().value_unsafe();
        return JsonValue(std::string(text));
    }
    case element_type::BOOL:
        return JsonValue(value.get_bool().value_unsafe());
    case element_type::NULL_VALUE:
        return JsonValue(nullptr);
    }
    return JsonValue(nullptr);
}

} // namespace

struct JsonFeed::Parsed {
    simdjson::dom::document document;
    element root;
    // Elements of long arrays by key path of the array, filled by lookups.
    mutable std::unordered_map<std::string, std::vector<element>> arrays;
    // The document as JSONPath queries see it, with what they remember.
    mutable JsonTapeNodes nodes{document};
};

JsonFeed::JsonFeed(std::unique_ptr<Parsed> parsed) : m_parsed(std::move(parsed)) {}

JsonFeed::~JsonFeed() = default;

std::unique_ptr<JsonFeed> JsonFeed::parse(const QByteArray& bytes) {
    // A parser of its own, gone before the values are built: its working buffers are about the
    // size of the text, and a parser kept per thread would hold them between refreshes.
    simdjson::dom::parser parser;
    auto parsed = std::make_unique<Parsed>();
    // simdjson's depth limit takes a container as deep as the limit only when it is empty, so at
    // MaximumJsonNestingDepth it accepts nothing deeper than that; what it refuses at the limit
    // goes to the full parser, which gives the verdict.
    if (parser.allocate(std::size_t(bytes.size()), std::size_t(MaximumJsonNestingDepth)) != simdjson::SUCCESS)
        return nullptr;
    // simdjson reads up to SIMDJSON_PADDING bytes past the end: without that much spare room in
    // the array's allocation it parses a padded copy.
    const bool spare = hasSimdjsonPadding(bytes);
    if (parser
            .parse_into_document(parsed->document, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 std::size_t(bytes.size()), !spare)
            .get(parsed->root) != simdjson::SUCCESS)
        return nullptr;
    return std::unique_ptr<JsonFeed>(new JsonFeed(std::move(parsed)));
}

bool JsonFeed::isObject() const {
    return m_parsed->root.is_object();
}

bool JsonFeed::isArray() const {
    return m_parsed->root.is_array();
}

JsonValue JsonFeed::toJsonValue() const {
    return toJson(m_parsed->root);
}

std::optional<JsonValue> JsonFeed::valueAt(const QStringList& components) const {
    element current = m_parsed->root;
    std::string path; // the components so far, each after its length: the key of a listed array
    for (const QString& component : components) {
        const QByteArray key = component.toUtf8();
        if (current.is_object()) {
            const std::string_view wanted(key.constData(), std::size_t(key.size()));
            std::optional<element> found;
            // On past a match: of equal keys the last one counts, as parsing keeps it.
            const simdjson::dom::object members = current.get_object().value_unsafe();
            for (simdjson::dom::key_value_pair member : members)
                if (member.key == wanted)
                    found = member.value;
            if (!found)
                return std::nullopt;
            current = *found;
        } else if (current.is_array()) {
            const qint32 index = ValueReadings::int32Reading(component);
            const simdjson::dom::array array = current.get_array().value_unsafe();
            const std::size_t length = array.size();
            if (index < 0 || std::size_t(index) >= length)
                return std::nullopt;
            if (length < IndexedArrayLength) {
                current = array.at(std::size_t(index)).value_unsafe();
            } else {
                std::vector<element>& elements = m_parsed->arrays[path];
                if (elements.empty()) {
                    elements.reserve(length);
                    for (element item : array)
                        elements.push_back(item);
                }
                current = elements[std::size_t(index)];
            }
        } else {
            return std::nullopt;
        }
        const auto length = std::uint32_t(key.size());
        path.append(reinterpret_cast<const char*>(&length), sizeof length);
        path.append(key.constData(), std::size_t(key.size()));
    }
    return toJson(current);
}

std::vector<JsonValue> JsonFeed::select(const JsonPathQuery& query, std::size_t limit) const {
    JsonPathEvaluator<JsonTapeNodes> evaluator(m_parsed->nodes, m_parsed->nodes.root());
    std::vector<JsonValue> values;
    for (const JsonTapeNodes::Node node : evaluator.select(query.syntax(), limit))
        values.push_back(m_parsed->nodes.toJsonValue(node));
    return values;
}

} // namespace platform
