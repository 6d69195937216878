#include "platform/JsonTapeNodes.h"

#include <cstring>
#include <nlohmann/json.hpp>

namespace platform {

namespace {

// Arrays at least this long get their elements listed on the first lookup by index, as in
// JsonFeed: the tape finds the n-th element by stepping over the n before it.
constexpr std::size_t ListedArrayLength = 32;

} // namespace

JsonKind JsonTapeNodes::kind(Node node) const {
    switch (type(node)) {
    case '{':
        return JsonKind::Object;
    case '[':
        return JsonKind::Array;
    case '"':
        return JsonKind::String;
    case 'l':
    case 'u':
    case 'd':
        return JsonKind::Number;
    case 't':
    case 'f':
        return JsonKind::Boolean;
    default:
        return JsonKind::Null;
    }
}

double JsonTapeNodes::number(Node node) const {
    const std::uint64_t word = m_document->tape[node + 1];
    switch (type(node)) {
    case 'l': {
        std::int64_t value = 0;
        std::memcpy(&value, &word, sizeof value);
        return double(value);
    }
    case 'u':
        return double(word);
    default: {
        double value = 0;
        std::memcpy(&value, &word, sizeof value);
        return value;
    }
    }
}

std::string_view JsonTapeNodes::string(Node node) const {
    return stringAt(node);
}

std::string_view JsonTapeNodes::stringAt(std::size_t index) const {
    const std::uint8_t* text = m_document->string_buf.get() + payload(index);
    std::uint32_t length = 0;
    std::memcpy(&length, text, sizeof length);
    return std::string_view(reinterpret_cast<const char*>(text + sizeof length), length);
}

std::size_t JsonTapeNodes::after(std::size_t index) const {
    switch (type(index)) {
    case '[':
    case '{':
        return std::size_t(std::uint32_t(m_document->tape[index]));
    case 'l':
    case 'u':
    case 'd':
        return index + 2;
    default:
        return index + 1;
    }
}

std::size_t JsonTapeNodes::size(Node node) const {
    const char kind = type(node);
    if (kind != '[' && kind != '{')
        return 0;
    const auto count = std::size_t((m_document->tape[node] >> 32) & simdjson::internal::JSON_COUNT_MASK);
    if (count < simdjson::internal::JSON_COUNT_MASK)
        return count;
    std::size_t counted = 0; // the count saturates: count the children
    forEachChild(node, [&counted](Node) { return ++counted, true; });
    return counted;
}

std::optional<JsonTapeNodes::Node> JsonTapeNodes::member(Node object, std::string_view key) const {
    std::optional<Node> found;
    forEachMember(object, [&](std::string_view name, Node value) {
        if (name == key)
            found = value;
        return true;
    });
    return found;
}

const std::vector<JsonTapeNodes::Node>& JsonTapeNodes::elements(Node array) const {
    std::vector<Node>& listed = m_arrays[array];
    if (listed.empty())
        forEachChild(array, [&listed](Node element) { return listed.push_back(element), true; });
    return listed;
}

std::optional<JsonTapeNodes::Node> JsonTapeNodes::element(Node array, std::size_t index) const {
    if (size(array) >= ListedArrayLength) {
        const std::vector<Node>& listed = elements(array);
        return index < listed.size() ? std::optional<Node>(listed[index]) : std::nullopt;
    }
    std::optional<Node> found;
    forEachChild(array, [&](Node element) {
        if (index-- == 0)
            found = element;
        return !found;
    });
    return found;
}

JsonPathFilterIndex* JsonTapeNodes::filterIndex(Node array, const std::string& queryKey) {
    std::string key(reinterpret_cast<const char*>(&array), sizeof array);
    key += queryKey;
    return &m_filterIndexes[key];
}

JsonValue JsonTapeNodes::toJsonValue(Node node) const {
    switch (type(node)) {
    case '[': {
        JsonValue array = JsonValue::array();
        forEachChild(node, [&](Node element) { return array.push_back(toJsonValue(element)), true; });
        return array;
    }
    case '{': {
        // Assignment, as nlohmann's parser does: of equal keys the last value wins, in the place
        // of the first.
        JsonValue object = JsonValue::object();
        forEachMember(node, [&](std::string_view key, Node value) {
            object[std::string(key)] = toJsonValue(value);
            return true;
        });
        return object;
    }
    case 'l': {
        // nlohmann reads integers without a sign as unsigned.
        const std::uint64_t word = m_document->tape[node + 1];
        std::int64_t number = 0;
        std::memcpy(&number, &word, sizeof number);
        return number >= 0 ? JsonValue(std::uint64_t(number)) : JsonValue(number);
    }
    case 'u':
        return JsonValue(std::uint64_t(m_document->tape[node + 1]));
    case 'd':
        return JsonValue(number(node));
    case '"':
        return JsonValue(std::string(stringAt(node)));
    case 't':
        return JsonValue(true);
    case 'f':
        return JsonValue(false);
    default:
        return JsonValue(nullptr);
    }
}

} // namespace platform
