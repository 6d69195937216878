#include "platform/IRegexp.h"

#include <string>

namespace platform {

namespace {

/// A recursive-descent reading of RFC 9485's grammar that writes the PCRE2 pattern as it goes.
/// Every method returns false when the pattern does not follow the grammar.
class Translation {
  public:
    explicit Translation(const QString& pattern) : m_text(pattern.toStdU32String()) {}

    std::optional<QString> run() {
        if (!regexp() || m_position != m_text.size())
            return std::nullopt;
        return m_out;
    }

  private:
    char32_t peek(std::size_t ahead = 0) const {
        return m_position + ahead < m_text.size() ? m_text[m_position + ahead] : 0;
    }
    bool atEnd() const { return m_position >= m_text.size(); }

    void writeCharacter(char32_t c) {
        if ((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9'))
            m_out += QChar(char16_t(c));
        else
            m_out += QStringLiteral("\\x{%1}").arg(uint(c), 0, 16);
    }

    bool regexp() {
        if (!branch())
            return false;
        while (!atEnd() && peek() == U'|') {
            ++m_position;
            m_out += QLatin1Char('|');
            if (!branch())
                return false;
        }
        return true;
    }

    bool branch() {
        while (!atEnd() && peek() != U'|' && peek() != U')')
            if (!piece())
                return false;
        return true;
    }

    bool piece() {
        if (!atom())
            return false;
        const char32_t c = peek();
        if (atEnd())
            return true;
        if (c == U'*' || c == U'+' || c == U'?') {
            m_out += QChar(char16_t(c));
            ++m_position;
            return true;
        }
        return c == U'{' ? rangeQuantifier() : true;
    }

    bool digits() {
        const std::size_t start = m_position;
        while (peek() >= U'0' && peek() <= U'9' && !atEnd())
            m_out += QChar(char16_t(m_text[m_position++]));
        return m_position > start;
    }

    bool rangeQuantifier() {
        ++m_position;
        m_out += QLatin1Char('{');
        if (!digits())
            return false;
        if (peek() == U',') {
            ++m_position;
            m_out += QLatin1Char(',');
            digits();
        }
        if (peek() != U'}' || atEnd())
            return false;
        ++m_position;
        m_out += QLatin1Char('}');
        return true;
    }

    bool atom() {
        const char32_t c = peek();
        switch (c) {
        case U'(':
            ++m_position;
            m_out += QStringLiteral("(?:");
            if (!regexp() || peek() != U')' || atEnd())
                return false;
            ++m_position;
            m_out += QLatin1Char(')');
            return true;
        case U'.':
            ++m_position;
            m_out += QStringLiteral("[^\\n\\r]");
            return true;
        case U'[':
            return characterClass();
        case U'^':
            // Outside a class "^" and "$" anchor at the ends of the text, as the compliance
            // suite and the usual mappings onto native engines read them.
            ++m_position;
            m_out += QStringLiteral("\\A");
            return true;
        case U'$':
            ++m_position;
            m_out += QStringLiteral("\\z");
            return true;
        case U'\\':
            return escape();
        case U')':
        case U'*':
        case U'+':
        case U'?':
        case U']':
        case U'{':
        case U'|':
        case U'}':
            return false;
        default:
            if (c >= 0xD800 && c <= 0xDFFF)
                return false;
            ++m_position;
            writeCharacter(c);
            return true;
        }
    }

    /// \p{..}, \P{..} or a single-character escape, after the backslash's position.
    bool escape() {
        const char32_t c = peek(1);
        if (c == U'p' || c == U'P')
            return categoryEscape();
        m_position += 2;
        switch (c) {
        case U'n':
            m_out += QStringLiteral("\\n");
            return true;
        case U'r':
            m_out += QStringLiteral("\\r");
            return true;
        case U't':
            m_out += QStringLiteral("\\t");
            return true;
        case U'(':
        case U')':
        case U'*':
        case U'+':
        case U'-':
        case U'.':
        case U'?':
        case U'[':
        case U'\\':
        case U']':
        case U'^':
        case U'{':
        case U'|':
        case U'}':
            writeCharacter(c);
            return true;
        default:
            return false;
        }
    }

    bool categoryEscape() {
        const bool complement = peek(1) == U'P';
        if (peek(2) != U'{')
            return false;
        m_position += 3;
        std::string name;
        while (!atEnd() && peek() != U'}' && name.size() < 3)
            name += char(m_text[m_position++]);
        if (peek() != U'}' || atEnd() || !isCategory(name))
            return false;
        ++m_position;
        m_out += (complement ? QStringLiteral("\\P{") : QStringLiteral("\\p{")) + QString::fromLatin1(name) +
                 QLatin1Char('}');
        return true;
    }

    static bool isCategory(const std::string& name) {
        static const char* const Categories[] = {"L",  "Ll", "Lm", "Lo", "Lt", "Lu", "M",  "Mc", "Me",
                                                 "Mn", "N",  "Nd", "Nl", "No", "P",  "Pc", "Pd", "Pe",
                                                 "Pf", "Pi", "Po", "Ps", "Z",  "Zl", "Zp", "Zs", "S",
                                                 "Sc", "Sk", "Sm", "So", "C",  "Cc", "Cf", "Cn", "Co"};
        for (const char* category : Categories)
            if (name == category)
                return true;
        return false;
    }

    /// One character of a class: a plain one or a single-character escape.
    bool classCharacter() {
        const char32_t c = peek();
        if (atEnd() || c == U'-' || c == U'[' || c == U']' || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (c == U'\\')
            return peek(1) != U'p' && peek(1) != U'P' && escape();
        ++m_position;
        writeCharacter(c);
        return true;
    }

    bool characterClass() {
        ++m_position;
        m_out += QLatin1Char('[');
        if (peek() == U'^' && !atEnd()) {
            ++m_position;
            m_out += QLatin1Char('^');
        }
        int items = 0;
        if (peek() == U'-') {
            ++m_position;
            m_out += QStringLiteral("\\-");
            ++items;
        }
        while (!atEnd() && peek() != U']') {
            if (peek() == U'-') {
                if (peek(1) != U']')
                    return false;
                ++m_position;
                m_out += QStringLiteral("\\-");
                ++items;
                break;
            }
            if (peek() == U'\\' && (peek(1) == U'p' || peek(1) == U'P')) {
                if (!categoryEscape())
                    return false;
            } else {
                if (!classCharacter())
                    return false;
                if (peek() == U'-' && peek(1) != U']' && m_position + 1 < m_text.size()) {
                    ++m_position;
                    m_out += QLatin1Char('-');
                    if (!classCharacter())
                        return false;
                }
            }
            ++items;
        }
        if (atEnd() || items == 0)
            return false;
        ++m_position;
        m_out += QLatin1Char(']');
        return true;
    }

    std::u32string m_text;
    std::size_t m_position = 0;
    QString m_out;
};

} // namespace

std::optional<QString> IRegexp::toPcre(const QString& pattern) {
    return Translation(pattern).run();
}

std::optional<QRegularExpression> IRegexp::compile(const QString& pattern, bool wholeText) {
    const std::optional<QString> translated = toPcre(pattern);
    if (!translated)
        return std::nullopt;
    QRegularExpression expression(wholeText ? QRegularExpression::anchoredPattern(*translated) : *translated);
    if (!expression.isValid())
        return std::nullopt;
    expression.optimize();
    return expression;
}

} // namespace platform
