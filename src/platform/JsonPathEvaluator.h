#pragma once

#include "platform/JsonPathSyntax.h"

#include <QRegularExpression>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

/// Runs a parsed JSONPath query over one document, seen through a node adapter (`Nodes`:
/// JsonValueNodes for a JsonValue tree, JsonTapeNodes for a feed still in simdjson's form).
/// Results are the adapter's nodes, in the order RFC 9535 gives them (document order for
/// descendants, duplicates kept). An evaluator serves one document and one thread; it remembers
/// the patterns of match() and search() that come from the document.
template <typename Nodes> class JsonPathEvaluator {
  public:
    using Node = typename Nodes::Node;

    JsonPathEvaluator(Nodes& nodes, Node root) : m_nodes(nodes), m_root(root) {}

    /// The first `limit` nodes `query` selects.
    std::vector<Node> select(const jsonpath::Query& query,
                             std::size_t limit = std::numeric_limits<std::size_t>::max());

  private:
    /// The nodes found so far, up to a limit; `nodes` null when only the count matters.
    struct Collector {
        std::vector<Node>* nodes;
        std::size_t limit;
        std::size_t count = 0;
        Node first{};
        bool full() const { return count >= limit; }
    };

    /// A comparable value: nothing, a scalar, or an array or object node.
    struct Operand {
        enum class Kind { Nothing, Null, Boolean, Number, String, Container };
        Kind kind = Kind::Nothing;
        bool boolean = false;
        double number = 0;
        std::string_view string;
        Node node{};
    };

    void run(const jsonpath::Query& query, Node start, Collector& out);
    void walk(const jsonpath::Query& query, std::size_t segment, Node node, Collector& out);
    /// Applies the segment's selectors to `node`, then (descendant segments) to each descendant.
    template <typename Emit> bool descend(const jsonpath::Segment& segment, Node node, Emit& emit);
    template <typename Emit> bool apply(const jsonpath::Selector& selector, Node node, Emit& emit);
    template <typename Emit> bool slice(const jsonpath::Slice& slice, Node array, Emit& emit);
    /// Filters over long arrays of the form [?@.path == literal] through a JsonPathFilterIndex;
    /// nullopt when the filter has another form or the adapter keeps no indexes.
    template <typename Emit>
    std::optional<bool> indexedFilter(const jsonpath::Expression& filter, Node array, Emit& emit);

    bool test(const jsonpath::Expression& expression, Node current);
    Operand operand(const jsonpath::Expression& expression, Node current);
    Operand operandOf(Node node) const;
    /// One name or index selector of a singular query applied to `node`.
    std::optional<Node> singularStep(const jsonpath::Selector& selector, Node node) const;
    Operand functionValue(const jsonpath::Expression& call, Node current);
    bool matches(const jsonpath::Expression& call, Node current);
    bool equal(const Operand& left, const Operand& right) const;
    bool less(const Operand& left, const Operand& right) const;
    bool equalNodes(Node left, Node right) const;
    /// The hash of a scalar for JsonPathFilterIndex (equal values hash alike); nullopt for the rest.
    static std::optional<std::uint64_t> valueHash(const Operand& value);

    Nodes& m_nodes;
    Node m_root;
    /// Patterns of match() and search() read from the document, compiled (nullopt: invalid).
    std::unordered_map<std::string, std::optional<QRegularExpression>> m_patterns;
};

} // namespace platform
