#include "platform/JsonPathEvaluator.h"

#include "platform/IRegexp.h"
#include "platform/JsonTapeNodes.h"
#include "platform/JsonValueNodes.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace platform {

using jsonpath::Expression;
using jsonpath::Function;
using jsonpath::Query;
using jsonpath::Segment;
using jsonpath::Selector;

namespace {

// Arrays at least this long have their equality filters answered through a JsonPathFilterIndex.
constexpr std::size_t IndexedFilterLength = 32;

std::size_t codePointCount(std::string_view utf8) {
    return std::size_t(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

/// The singular relative query as a key of filter indexes.
std::string queryKey(const Query& query) {
    std::string key;
    for (const Segment& segment : query.segments) {
        const Selector& selector = segment.selectors[0];
        if (selector.kind == Selector::Kind::Name) {
            const auto length = std::uint32_t(selector.name.size());
            key += 'n';
            key.append(reinterpret_cast<const char*>(&length), sizeof length);
            key += selector.name;
        } else {
            key += 'i';
            key.append(reinterpret_cast<const char*>(&selector.index), sizeof selector.index);
        }
    }
    return key;
}

} // namespace

template <typename Nodes>
std::vector<typename Nodes::Node> JsonPathEvaluator<Nodes>::select(const Query& query, std::size_t limit) {
    std::vector<Node> nodes;
    Collector out{&nodes, limit};
    run(query, m_root, out);
    return nodes;
}

template <typename Nodes> void JsonPathEvaluator<Nodes>::run(const Query& query, Node start, Collector& out) {
    walk(query, 0, query.relative ? start : m_root, out);
}

template <typename Nodes>
void JsonPathEvaluator<Nodes>::walk(const Query& query, std::size_t segment, Node node, Collector& out) {
    if (segment == query.segments.size()) {
        if (out.count == 0)
            out.first = node;
        if (out.nodes)
            out.nodes->push_back(node);
        ++out.count;
        return;
    }
    auto next = [&](Node child) {
        walk(query, segment + 1, child, out);
        return !out.full();
    };
    descend(query.segments[segment], node, next);
}

template <typename Nodes>
template <typename Emit>
bool JsonPathEvaluator<Nodes>::descend(const Segment& segment, Node node, Emit& emit) {
    for (const Selector& selector : segment.selectors)
        if (!apply(selector, node, emit))
            return false;
    if (!segment.descendant)
        return true;
    const JsonKind kind = m_nodes.kind(node);
    if (kind != JsonKind::Array && kind != JsonKind::Object)
        return true;
    return m_nodes.forEachChild(node, [&](Node child) { return descend(segment, child, emit); });
}

template <typename Nodes>
template <typename Emit>
bool JsonPathEvaluator<Nodes>::apply(const Selector& selector, Node node, Emit& emit) {
    const JsonKind kind = m_nodes.kind(node);
    switch (selector.kind) {
    case Selector::Kind::Name:
        if (kind == JsonKind::Object)
            if (const std::optional<Node> member = m_nodes.member(node, selector.name))
                return emit(*member);
        return true;
    case Selector::Kind::Wildcard:
        if (kind == JsonKind::Array || kind == JsonKind::Object)
            return m_nodes.forEachChild(node, emit);
        return true;
    case Selector::Kind::Index:
        if (kind == JsonKind::Array) {
            const auto length = std::int64_t(m_nodes.size(node));
            const std::int64_t index = selector.index < 0 ? length + selector.index : selector.index;
            if (index >= 0 && index < length)
                return emit(*m_nodes.element(node, std::size_t(index)));
        }
        return true;
    case Selector::Kind::Slice:
        return kind == JsonKind::Array ? slice(selector.slice, node, emit) : true;
    case Selector::Kind::Filter:
        if (kind == JsonKind::Array)
            if (const std::optional<bool> indexed = indexedFilter(*selector.filter, node, emit))
                return *indexed;
        if (kind == JsonKind::Array || kind == JsonKind::Object)
            return m_nodes.forEachChild(
                node, [&](Node child) { return test(*selector.filter, child) ? emit(child) : true; });
        return true;
    }
    return true;
}

template <typename Nodes>
template <typename Emit>
bool JsonPathEvaluator<Nodes>::slice(const jsonpath::Slice& slice, Node array, Emit& emit) {
    const std::int64_t step = slice.step;
    if (step == 0)
        return true;
    const auto length = std::int64_t(m_nodes.size(array));
    auto normalized = [length](std::int64_t i) { return i >= 0 ? i : length + i; };
    const std::int64_t start = slice.start ? normalized(*slice.start) : (step > 0 ? 0 : length - 1);
    const std::int64_t end = slice.end ? normalized(*slice.end) : (step > 0 ? length : -length - 1);
    if (step > 0) {
        const std::int64_t lower = std::min(std::max(start, std::int64_t(0)), length);
        const std::int64_t upper = std::min(std::max(end, std::int64_t(0)), length);
        for (std::int64_t i = lower; i < upper; i += step)
            if (!emit(*m_nodes.element(array, std::size_t(i))))
                return false;
    } else {
        const std::int64_t upper = std::min(std::max(start, std::int64_t(-1)), length - 1);
        const std::int64_t lower = std::min(std::max(end, std::int64_t(-1)), length - 1);
        for (std::int64_t i = upper; lower < i; i += step)
            if (!emit(*m_nodes.element(array, std::size_t(i))))
                return false;
    }
    return true;
}

template <typename Nodes>
template <typename Emit>
std::optional<bool> JsonPathEvaluator<Nodes>::indexedFilter(const Expression& filter, Node array,
                                                            Emit& emit) {
    if (filter.kind != Expression::Kind::Comparison || filter.comparison != jsonpath::Comparison::Equal)
        return std::nullopt;
    const bool queryFirst = filter.operands[0].kind == Expression::Kind::Query;
    const Expression& query = filter.operands[queryFirst ? 0 : 1];
    const Expression& literal = filter.operands[queryFirst ? 1 : 0];
    if (query.kind != Expression::Kind::Query || !query.query.relative ||
        literal.kind != Expression::Kind::Literal || m_nodes.size(array) < IndexedFilterLength)
        return std::nullopt;
    JsonPathFilterIndex* index = m_nodes.filterIndex(array, queryKey(query.query));
    if (!index)
        return std::nullopt;
    if (!index->isBuilt()) {
        index->startBuilding(m_nodes.size(array));
        std::uint32_t position = 0;
        m_nodes.forEachChild(array, [&](Node element) {
            if (const std::optional<std::uint64_t> hash = valueHash(operand(query, element)))
                index->add(*hash, position);
            ++position;
            return true;
        });
    }
    // Values that only hash alike are told apart by the filter itself.
    return index->forEachPosition(*valueHash(operand(literal, array)), [&](std::uint32_t position) {
        const Node element = *m_nodes.element(array, position);
        return test(filter, element) ? emit(element) : true;
    });
}

template <typename Nodes> bool JsonPathEvaluator<Nodes>::test(const Expression& expression, Node current) {
    switch (expression.kind) {
    case Expression::Kind::Exists: {
        Collector out{nullptr, 1};
        run(expression.operands[0].query, current, out);
        return out.count > 0;
    }
    case Expression::Kind::Function:
        return matches(expression, current);
    case Expression::Kind::Not:
        return !test(expression.operands[0], current);
    case Expression::Kind::And:
        return test(expression.operands[0], current) && test(expression.operands[1], current);
    case Expression::Kind::Or:
        return test(expression.operands[0], current) || test(expression.operands[1], current);
    case Expression::Kind::Comparison: {
        const Operand left = operand(expression.operands[0], current);
        const Operand right = operand(expression.operands[1], current);
        switch (expression.comparison) {
        case jsonpath::Comparison::Equal:
            return equal(left, right);
        case jsonpath::Comparison::NotEqual:
            return !equal(left, right);
        case jsonpath::Comparison::Less:
            return less(left, right);
        case jsonpath::Comparison::LessOrEqual:
            return less(left, right) || equal(left, right);
        case jsonpath::Comparison::Greater:
            return less(right, left);
        case jsonpath::Comparison::GreaterOrEqual:
            return less(right, left) || equal(left, right);
        }
        return false;
    }
    default:
        return false;
    }
}

template <typename Nodes>
typename JsonPathEvaluator<Nodes>::Operand JsonPathEvaluator<Nodes>::operand(const Expression& expression,
                                                                             Node current) {
    Operand value;
    switch (expression.kind) {
    case Expression::Kind::Literal:
        switch (expression.literal.kind) {
        case jsonpath::Literal::Kind::Null:
            value.kind = Operand::Kind::Null;
            break;
        case jsonpath::Literal::Kind::Boolean:
            value.kind = Operand::Kind::Boolean;
            value.boolean = expression.literal.boolean;
            break;
        case jsonpath::Literal::Kind::Number:
            value.kind = Operand::Kind::Number;
            value.number = expression.literal.number;
            break;
        case jsonpath::Literal::Kind::String:
            value.kind = Operand::Kind::String;
            value.string = expression.literal.string;
            break;
        }
        return value;
    case Expression::Kind::Query: {
        // Comparisons take singular queries only (checked when parsing): followed step by step.
        Node node = expression.query.relative ? current : m_root;
        for (const Segment& segment : expression.query.segments) {
            const std::optional<Node> next = singularStep(segment.selectors[0], node);
            if (!next)
                return value;
            node = *next;
        }
        return operandOf(node);
    }
    case Expression::Kind::Function:
        return functionValue(expression, current);
    default:
        return value;
    }
}

template <typename Nodes>
std::optional<typename Nodes::Node> JsonPathEvaluator<Nodes>::singularStep(const Selector& selector,
                                                                           Node node) const {
    const JsonKind kind = m_nodes.kind(node);
    if (selector.kind == Selector::Kind::Name)
        return kind == JsonKind::Object ? m_nodes.member(node, selector.name) : std::nullopt;
    if (kind != JsonKind::Array)
        return std::nullopt;
    const auto length = std::int64_t(m_nodes.size(node));
    const std::int64_t index = selector.index < 0 ? length + selector.index : selector.index;
    return index >= 0 && index < length ? m_nodes.element(node, std::size_t(index)) : std::nullopt;
}

template <typename Nodes>
typename JsonPathEvaluator<Nodes>::Operand JsonPathEvaluator<Nodes>::operandOf(Node node) const {
    Operand value;
    value.node = node;
    switch (m_nodes.kind(node)) {
    case JsonKind::Null:
        value.kind = Operand::Kind::Null;
        break;
    case JsonKind::Boolean:
        value.kind = Operand::Kind::Boolean;
        value.boolean = m_nodes.boolean(node);
        break;
    case JsonKind::Number:
        value.kind = Operand::Kind::Number;
        value.number = m_nodes.number(node);
        break;
    case JsonKind::String:
        value.kind = Operand::Kind::String;
        value.string = m_nodes.string(node);
        break;
    default:
        value.kind = Operand::Kind::Container;
        break;
    }
    return value;
}

template <typename Nodes>
typename JsonPathEvaluator<Nodes>::Operand JsonPathEvaluator<Nodes>::functionValue(const Expression& call,
                                                                                   Node current) {
    Operand value;
    switch (call.function) {
    case Function::Length: {
        const Operand argument = operand(call.operands[0], current);
        if (argument.kind == Operand::Kind::String || argument.kind == Operand::Kind::Container) {
            value.kind = Operand::Kind::Number;
            value.number = argument.kind == Operand::Kind::String ? double(codePointCount(argument.string))
                                                                  : double(m_nodes.size(argument.node));
        }
        return value;
    }
    case Function::Count: {
        Collector out{nullptr, std::numeric_limits<std::size_t>::max()};
        run(call.operands[0].query, current, out);
        value.kind = Operand::Kind::Number;
        value.number = double(out.count);
        return value;
    }
    case Function::Value: {
        Collector out{nullptr, 2};
        run(call.operands[0].query, current, out);
        return out.count == 1 ? operandOf(out.first) : value;
    }
    default:
        return value;
    }
}

template <typename Nodes> bool JsonPathEvaluator<Nodes>::matches(const Expression& call, Node current) {
    const Operand subject = operand(call.operands[0], current);
    if (subject.kind != Operand::Kind::String)
        return false;
    const bool wholeText = call.function == Function::Match;
    const QRegularExpression* pattern = call.pattern.get();
    if (!call.patternCompiled) {
        const Operand text = operand(call.operands[1], current);
        if (text.kind != Operand::Kind::String)
            return false;
        const std::string key = (wholeText ? "m" : "s") + std::string(text.string);
        auto found = m_patterns.find(key);
        if (found == m_patterns.end())
            found = m_patterns
                        .emplace(key, IRegexp::compile(QString::fromUtf8(text.string.data(),
                                                                         qsizetype(text.string.size())),
                                                       wholeText))
                        .first;
        pattern = found->second ? &*found->second : nullptr;
    }
    return pattern &&
           pattern->match(QString::fromUtf8(subject.string.data(), qsizetype(subject.string.size())))
               .hasMatch();
}

template <typename Nodes>
bool JsonPathEvaluator<Nodes>::equal(const Operand& left, const Operand& right) const {
    if (left.kind != right.kind)
        return false;
    switch (left.kind) {
    case Operand::Kind::Nothing:
    case Operand::Kind::Null:
        return true;
    case Operand::Kind::Boolean:
        return left.boolean == right.boolean;
    case Operand::Kind::Number:
        return left.number == right.number;
    case Operand::Kind::String:
        return left.string == right.string;
    case Operand::Kind::Container:
        return equalNodes(left.node, right.node);
    }
    return false;
}

template <typename Nodes>
bool JsonPathEvaluator<Nodes>::less(const Operand& left, const Operand& right) const {
    if (left.kind == Operand::Kind::Number && right.kind == Operand::Kind::Number)
        return left.number < right.number;
    // Byte order of UTF-8 is the order of code points.
    if (left.kind == Operand::Kind::String && right.kind == Operand::Kind::String)
        return left.string < right.string;
    return false;
}

template <typename Nodes> bool JsonPathEvaluator<Nodes>::equalNodes(Node left, Node right) const {
    const JsonKind kind = m_nodes.kind(left);
    if (kind != m_nodes.kind(right))
        return false;
    if (kind == JsonKind::Array) {
        if (m_nodes.size(left) != m_nodes.size(right))
            return false;
        std::vector<Node> others;
        m_nodes.forEachChild(right, [&others](Node child) { return others.push_back(child), true; });
        std::size_t i = 0;
        return m_nodes.forEachChild(left, [&](Node child) { return equalNodes(child, others[i++]); });
    }
    if (kind == JsonKind::Object) {
        return m_nodes.size(left) == m_nodes.size(right) &&
               m_nodes.forEachMember(left, [&](std::string_view key, Node value) {
                   const std::optional<Node> other = m_nodes.member(right, key);
                   return other && equalNodes(value, *other);
               });
    }
    return equal(operandOf(left), operandOf(right));
}

template <typename Nodes>
std::optional<std::uint64_t> JsonPathEvaluator<Nodes>::valueHash(const Operand& value) {
    switch (value.kind) {
    case Operand::Kind::Null:
        return 1;
    case Operand::Kind::Boolean:
        return value.boolean ? 2 : 3;
    case Operand::Kind::Number: {
        const double number = value.number == 0 ? 0.0 : value.number; // -0 == 0
        std::uint64_t bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        return bits * 0x9E3779B97F4A7C15ULL;
    }
    case Operand::Kind::String:
        return std::hash<std::string_view>()(value.string) ^ 0x5555555555555555ULL;
    default:
        return std::nullopt;
    }
}

template class JsonPathEvaluator<JsonValueNodes>;
template class JsonPathEvaluator<JsonTapeNodes>;

} // namespace platform
