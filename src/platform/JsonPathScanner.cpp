#include "platform/JsonPathScanner.h"

#include "platform/JsonPathSyntax.h"

#include <charconv>

namespace platform {

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int hexValue(char32_t c) {
    if (c >= U'0' && c <= U'9')
        return int(c - U'0');
    if (c >= U'a' && c <= U'f')
        return int(c - U'a' + 10);
    if (c >= U'A' && c <= U'F')
        return int(c - U'A' + 10);
    return -1;
}

} // namespace

bool JsonPathScanner::take(char32_t c) {
    if (peek() != c || atEnd())
        return false;
    advance();
    return true;
}

void JsonPathScanner::expect(char32_t c, const char* what) {
    if (!take(c))
        fail(QStringLiteral("expected %1, found %2").arg(QLatin1String(what), describeNext()));
}

bool JsonPathScanner::takeWord(const char* word) {
    std::size_t i = 0;
    for (; word[i]; ++i)
        if (peek(i) != char32_t(word[i]))
            return false;
    advance(i);
    return true;
}

void JsonPathScanner::skipBlanks() {
    while (!atEnd() && (peek() == U' ' || peek() == U'\t' || peek() == U'\n' || peek() == U'\r'))
        advance();
}

bool JsonPathScanner::isNameFirst(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || c == U'_' || (c >= 0x80 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0x10FFFF);
}

void JsonPathScanner::fail(std::size_t offset, const QString& message) const {
    throw JsonPathSyntaxError{offset, message};
}

QString JsonPathScanner::describeNext() const {
    if (atEnd())
        return QStringLiteral("the end of the query");
    const char32_t c = peek();
    return QStringLiteral("'%1'").arg(QString::fromUcs4(&c, 1));
}

std::string JsonPathScanner::stringLiteral() {
    const char32_t quote = peek();
    const std::size_t start = position();
    advance();
    std::string text;
    for (;;) {
        if (atEnd())
            fail(start, QStringLiteral("unterminated string literal"));
        const char32_t c = peek();
        if (c == quote) {
            advance();
            return text;
        }
        if (c == U'\\') {
            advance();
            appendUtf8(text, escapedCharacter(quote));
            continue;
        }
        if (c < 0x20)
            fail(QStringLiteral("control character in a string literal (write it as an escape)"));
        if (c >= 0xD800 && c <= 0xDFFF)
            fail(QStringLiteral("surrogate code point in a string literal"));
        appendUtf8(text, c);
        advance();
    }
}

char32_t JsonPathScanner::escapedCharacter(char32_t quote) {
    const std::size_t start = position() - 1;
    const char32_t c = peek();
    advance();
    switch (c) {
    case U'b':
        return U'\b';
    case U'f':
        return U'\f';
    case U'n':
        return U'\n';
    case U'r':
        return U'\r';
    case U't':
        return U'\t';
    case U'/':
        return U'/';
    case U'\\':
        return U'\\';
    case U'u': {
        const unsigned unit = hexQuad();
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            fail(start, QStringLiteral("low surrogate escape without a high surrogate before it"));
        if (unit < 0xD800 || unit > 0xDBFF)
            return char32_t(unit);
        if (!takeWord("\\u"))
            fail(start, QStringLiteral("high surrogate escape without a low surrogate after it"));
        const unsigned low = hexQuad();
        if (low < 0xDC00 || low > 0xDFFF)
            fail(start, QStringLiteral("high surrogate escape without a low surrogate after it"));
        return char32_t(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
    default:
        if (c == quote && !atEnd())
            return c;
        fail(start, QStringLiteral("invalid escape in a string literal"));
    }
}

unsigned JsonPathScanner::hexQuad() {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(peek());
        if (digit < 0 || atEnd())
            fail(QStringLiteral("expected four hexadecimal digits after \\u"));
        value = value * 16 + unsigned(digit);
        advance();
    }
    return value;
}

std::int64_t JsonPathScanner::integer() {
    const std::size_t start = position();
    const bool negative = take(U'-');
    if (!isDigit(peek()))
        fail(QStringLiteral("expected a digit, found %1").arg(describeNext()));
    if (peek() == U'0' && (negative || isDigit(peek(1))))
        fail(start, negative ? QStringLiteral("\"-0\" is not an index") : QStringLiteral("leading zero"));
    std::int64_t value = 0;
    while (isDigit(peek())) {
        value = value * 10 + std::int64_t(peek() - U'0');
        if (value > jsonpath::MaximumInteger)
            fail(start, QStringLiteral("integer outside ±(2^53 - 1)"));
        advance();
    }
    return negative ? -value : value;
}

double JsonPathScanner::number() {
    const std::size_t start = position();
    std::string ascii;
    if (take(U'-'))
        ascii += '-';
    if (!isDigit(peek()))
        fail(QStringLiteral("expected a digit, found %1").arg(describeNext()));
    if (peek() == U'0' && isDigit(peek(1)))
        fail(start, QStringLiteral("leading zero"));
    while (isDigit(peek())) {
        ascii += char(peek());
        advance();
    }
    if (peek() == U'.') {
        ascii += '.';
        advance();
        if (!isDigit(peek()))
            fail(QStringLiteral("expected a digit after the decimal point"));
        while (isDigit(peek())) {
            ascii += char(peek());
            advance();
        }
    }
    if (peek() == U'e' || peek() == U'E') {
        ascii += 'e';
        advance();
        if (peek() == U'+' || peek() == U'-') {
            ascii += char(peek());
            advance();
        }
        if (!isDigit(peek()))
            fail(QStringLiteral("expected a digit in the exponent"));
        while (isDigit(peek())) {
            ascii += char(peek());
            advance();
        }
    }
    // from_chars: independent of the C locale's decimal separator.
    double value = 0;
    std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return value;
}

std::string JsonPathScanner::memberName() {
    if (!isNameFirst(peek()) || atEnd())
        fail(QStringLiteral("expected a member name, found %1").arg(describeNext()));
    std::string name;
    while (!atEnd() && isNameCharacter(peek())) {
        appendUtf8(name, peek());
        advance();
    }
    return name;
}

std::string JsonPathScanner::functionName() {
    std::string name;
    while ((peek() >= U'a' && peek() <= U'z') || (!name.empty() && (isDigit(peek()) || peek() == U'_'))) {
        name += char(peek());
        advance();
    }
    return name;
}

} // namespace platform
