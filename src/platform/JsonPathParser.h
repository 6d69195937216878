#pragma once

#include "platform/JsonPathScanner.h"
#include "platform/JsonPathSyntax.h"

namespace platform {

/// Reads a JSONPath query (RFC 9535) into its syntax tree, checking that it is well-formed and
/// well-typed (the function extension's type rules). Throws JsonPathSyntaxError.
class JsonPathParser {
  public:
    explicit JsonPathParser(const QString& text) : m_scanner(text) {}

    /// The whole text as one query: "$", then segments, nothing after them (not even blanks).
    jsonpath::Query query();

    /// Expressions nested deeper than this are refused: parsing and evaluating recurse once per
    /// level, and a query must not exhaust a thread's stack.
    static constexpr int MaximumNesting = 128;

  private:
    /// The segments after "$" or "@" (blanks before each one).
    std::vector<jsonpath::Segment> segments();
    jsonpath::Segment bracketedSelection(bool descendant);
    jsonpath::Selector selector();
    jsonpath::Selector indexOrSlice();

    jsonpath::Expression logicalOr();
    jsonpath::Expression logicalAnd();
    jsonpath::Expression basic();
    /// A literal, a query or a function call.
    jsonpath::Expression primary();
    jsonpath::Expression functionCall(const std::string& name, std::size_t start);
    jsonpath::Expression literal();

    /// `expression` where a logical value is wanted: a query tests for existence.
    jsonpath::Expression asLogical(jsonpath::Expression expression, std::size_t start) const;
    void checkComparable(const jsonpath::Expression& expression, std::size_t start) const;
    void checkArgument(const jsonpath::Expression& argument, jsonpath::Type parameter,
                       std::size_t start) const;
    /// Compiles a literal pattern of match() or search() once.
    static void compilePattern(jsonpath::Expression& call);

    JsonPathScanner m_scanner;
    /// Logical expressions open around the current position (parentheses, filters, arguments).
    int m_depth = 0;
};

} // namespace platform
