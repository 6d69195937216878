#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

/// Thrown by JsonPathScanner and JsonPathParser when a query is not well-formed or not
/// well-typed; caught at the top of the parse.
struct JsonPathSyntaxError {
    std::size_t offset; ///< in characters (code points) from the start of the query
    QString message;
};

/// The characters of a JSONPath query, read one code point at a time, and the lexical pieces
/// of its grammar: blanks, string literals, integers, numbers, member names, function names.
class JsonPathScanner {
  public:
    explicit JsonPathScanner(const QString& text) : m_text(text.toStdU32String()) {}

    std::size_t position() const { return m_position; }
    void reset(std::size_t position) { m_position = position; }
    bool atEnd() const { return m_position >= m_text.size(); }
    /// The code point `ahead` places on, or 0 past the end.
    char32_t peek(std::size_t ahead = 0) const {
        return m_position + ahead < m_text.size() ? m_text[m_position + ahead] : 0;
    }
    void advance(std::size_t count = 1) { m_position += count; }
    /// Takes `c` when it comes next.
    bool take(char32_t c);
    /// Takes `c`, or fails with "expected `what`".
    void expect(char32_t c, const char* what);
    /// Takes `word` when it comes next.
    bool takeWord(const char* word);
    void skipBlanks();

    static bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
    static bool isNameFirst(char32_t c);
    static bool isNameCharacter(char32_t c) { return isNameFirst(c) || isDigit(c); }

    /// A quoted string literal at the current position, its escapes resolved (UTF-8).
    std::string stringLiteral();
    /// An integer for an index or slice: no leading zeros, no "-0", within ±(2^53 − 1).
    std::int64_t integer();
    /// A number literal (an integer, "-0", a fraction, an exponent).
    double number();
    /// A member-name shorthand (UTF-8).
    std::string memberName();
    /// A function name: a lower-case letter, then lower-case letters, digits and "_".
    std::string functionName();

    [[noreturn]] void fail(const QString& message) const { fail(m_position, message); }
    [[noreturn]] void fail(std::size_t offset, const QString& message) const;
    /// "end of query" or the character at the current position, for messages.
    QString describeNext() const;

  private:
    char32_t escapedCharacter(char32_t quote);
    unsigned hexQuad();

    std::u32string m_text;
    std::size_t m_position = 0;
};

} // namespace platform
