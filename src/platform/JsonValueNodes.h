#pragma once

#include "platform/Json.h"
#include "platform/JsonPathFilterIndex.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// What a JSONPath query tells nodes apart by.
enum class JsonKind { Null, Boolean, Number, String, Array, Object };

/// JsonPathEvaluator's view of a JsonValue tree: a node is a pointer into it. Remembers nothing
/// between calls (no filter indexes). Any thread, as the tree allows.
class JsonValueNodes {
  public:
    using Node = const JsonValue*;

    static JsonKind kind(Node node) {
        switch (node->type()) {
        case JsonValue::value_t::object:
            return JsonKind::Object;
        case JsonValue::value_t::array:
            return JsonKind::Array;
        case JsonValue::value_t::string:
            return JsonKind::String;
        case JsonValue::value_t::boolean:
            return JsonKind::Boolean;
        case JsonValue::value_t::number_integer:
        case JsonValue::value_t::number_unsigned:
        case JsonValue::value_t::number_float:
            return JsonKind::Number;
        default:
            return JsonKind::Null;
        }
    }
    static double number(Node node) { return node->get<double>(); }
    static std::string_view string(Node node) { return node->get_ref<const std::string&>(); }
    static bool boolean(Node node) { return node->get<bool>(); }
    static std::size_t size(Node node) { return node->is_structured() ? node->size() : 0; }
    static std::optional<Node> member(Node object, std::string_view key) {
        const auto found = object->find(std::string(key));
        return found == object->end() ? std::nullopt : std::optional<Node>(&*found);
    }
    static std::optional<Node> element(Node array, std::size_t index) {
        return index < array->size() ? std::optional<Node>(&(*array)[index]) : std::nullopt;
    }
    template <typename Visit> static bool forEachChild(Node node, Visit&& visit) {
        for (const JsonValue& child : *node)
            if (!visit(&child))
                return false;
        return true;
    }
    template <typename Visit> static bool forEachMember(Node object, Visit&& visit) {
        for (const auto& member : object->items())
            if (!visit(std::string_view(member.key()), &member.value()))
                return false;
        return true;
    }
    static JsonPathFilterIndex* filterIndex(Node, const std::string&) { return nullptr; }
};

} // namespace platform
