#pragma once

#include <QRegularExpression>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The parsed form of a JSONPath query (RFC 9535), as JsonPathParser builds it and
/// JsonPathEvaluator walks it. Plain data: immutable once parsed, so one parse can be evaluated on
/// any number of feeds and threads.
namespace platform::jsonpath {

struct Expression;

/// The largest index or slice bound a query may write: ±(2^53 − 1).
inline constexpr std::int64_t MaximumInteger = (std::int64_t(1) << 53) - 1;

struct Slice {
    std::optional<std::int64_t> start;
    std::optional<std::int64_t> end;
    std::int64_t step = 1;
};

struct Selector {
    enum class Kind { Name, Wildcard, Index, Slice, Filter };
    Kind kind = Kind::Wildcard;
    std::string name; ///< UTF-8
    std::int64_t index = 0;
    Slice slice;
    std::shared_ptr<const Expression> filter; ///< a logical expression
};

struct Segment {
    bool descendant = false;
    std::vector<Selector> selectors;
};

struct Query {
    bool relative = false; ///< starts at the current node `@` (in a filter), not the root `$`
    std::vector<Segment> segments;

    /// At most one node whatever the document: every segment a child segment of one name or
    /// index selector.
    bool isSingular() const {
        for (const Segment& segment : segments)
            if (segment.descendant || segment.selectors.size() != 1 ||
                (segment.selectors[0].kind != Selector::Kind::Name &&
                 segment.selectors[0].kind != Selector::Kind::Index))
                return false;
        return true;
    }
};

struct Literal {
    enum class Kind { Null, Boolean, Number, String };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string; ///< UTF-8
};

/// The three types of the function extension's type system.
enum class Type { Value, Logical, Nodes };

enum class Function { Length, Count, Match, Search, Value };

enum class Comparison { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

struct Expression {
    /// Exists: the query (or the function giving nodes) in `operands` selects at least one node.
    enum class Kind { Literal, Query, Function, Exists, Not, And, Or, Comparison };
    Kind kind = Kind::Literal;
    Literal literal;
    Query query;
    Function function = Function::Length;
    jsonpath::Comparison comparison = jsonpath::Comparison::Equal;
    /// Function arguments, the operand of Exists and Not, the operands of And and Or, or a
    /// comparison's two.
    std::vector<Expression> operands;
    /// match() and search() with a literal pattern: compiled once (null when the pattern is not
    /// an I-Regexp, which makes every call false).
    std::shared_ptr<const QRegularExpression> pattern;
    bool patternCompiled = false;

    /// The type the function extension gives the expression as written.
    Type type() const {
        switch (kind) {
        case Kind::Literal:
            return Type::Value;
        case Kind::Query:
            return Type::Nodes;
        case Kind::Function:
            return function == Function::Match || function == Function::Search ? Type::Logical : Type::Value;
        default:
            return Type::Logical;
        }
    }
};

} // namespace platform::jsonpath
