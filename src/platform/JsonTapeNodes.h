#pragma once

#include "platform/Json.h"
#include "platform/JsonPathFilterIndex.h"
#include "platform/JsonValueNodes.h"

#include <cstddef>
#include <optional>
#include <simdjson.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

/// JsonPathEvaluator's view of a document parsed by simdjson (JsonFeed): a node is a position on
/// the document's tape, read in place. Remembers the elements of long arrays and the filter
/// indexes built over them, for as long as the adapter lives (JsonFeed keeps one per feed).
/// One thread at a time.
class JsonTapeNodes {
  public:
    using Node = std::size_t;

    explicit JsonTapeNodes(const simdjson::dom::document& document) : m_document(&document) {}

    Node root() const { return 1; }
    JsonKind kind(Node node) const;
    double number(Node node) const;
    std::string_view string(Node node) const;
    bool boolean(Node node) const { return type(node) == 't'; }
    std::size_t size(Node node) const;
    /// Of equal keys the last one, as parsing into a JsonValue keeps it.
    std::optional<Node> member(Node object, std::string_view key) const;
    std::optional<Node> element(Node array, std::size_t index) const;

    /// `visit(node)` for each element or member value in order, until it returns false.
    template <typename Visit> bool forEachChild(Node node, Visit&& visit) const {
        const char close = type(node) == '[' ? ']' : '}';
        const std::size_t step = close == '}' ? 1 : 0; // object members: the key comes first
        for (std::size_t i = node + 1; type(i) != close; i = after(i + step))
            if (!visit(i + step))
                return false;
        return true;
    }
    /// `visit(key, node)` for each member of an object, until it returns false.
    template <typename Visit> bool forEachMember(Node object, Visit&& visit) const {
        for (std::size_t i = object + 1; type(i) != '}'; i = after(i + 1))
            if (!visit(stringAt(i), i + 1))
                return false;
        return true;
    }

    /// The index of filters by `queryKey` over `array`, empty until built.
    JsonPathFilterIndex* filterIndex(Node array, const std::string& queryKey);

    /// The node as a JsonValue, the same value JsonFeed::toJsonValue() gives for it.
    JsonValue toJsonValue(Node node) const;

  private:
    char type(std::size_t index) const { return char(m_document->tape[index] >> 56); }
    std::uint64_t payload(std::size_t index) const {
        return m_document->tape[index] & simdjson::internal::JSON_VALUE_MASK;
    }
    std::size_t after(std::size_t index) const;
    std::string_view stringAt(std::size_t index) const;
    const std::vector<Node>& elements(Node array) const;

    const simdjson::dom::document* m_document;
    mutable std::unordered_map<Node, std::vector<Node>> m_arrays;
    std::unordered_map<std::string, JsonPathFilterIndex> m_filterIndexes;
};

} // namespace platform
