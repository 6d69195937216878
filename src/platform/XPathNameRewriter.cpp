#include "platform/XPathNameRewriter.h"

namespace platform {

namespace {

/// What the previous token lets the next name or "*" be.
enum class Previous {
    Nothing,  ///< start of the expression
    Opening,  ///< "@", "::", "(", "[", ","
    Operator, ///< an operator: the next name is a name test or function
    Operand,  ///< a value ends here: the next name is an operator name, "*" multiplies
};

bool isNameStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

bool isNameChar(QChar c) {
    return isNameStart(c) || c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.');
}

qsizetype skipBlanks(const QString& text, qsizetype at) {
    while (at < text.size() && text.at(at).isSpace())
        ++at;
    return at;
}

qsizetype nameEnd(const QString& text, qsizetype at) {
    while (at < text.size() && isNameChar(text.at(at)))
        ++at;
    return at;
}

QString widened(const QString& name, const QStringList& prefixes) {
    QString step = QStringLiteral("*[self::") + name;
    for (const QString& prefix : prefixes)
        step += QStringLiteral(" or self::") + prefix + QLatin1Char(':') + name;
    return step + QLatin1Char(']');
}

} // namespace

QString XPathNameRewriter::rewrite(const QString& expression, const QStringList& prefixes) {
    if (prefixes.isEmpty())
        return QString();
    QString result;
    result.reserve(expression.size() * 2);
    Previous previous = Previous::Nothing;
    bool nonElementAxis = false; // "@" or "attribute::"/"namespace::" governs the next name test
    bool changed = false;
    const auto nameAllowed = [&] { return previous != Previous::Operand; };
    qsizetype at = 0;
    while (at < expression.size()) {
        const QChar c = expression.at(at);
        if (c.isSpace()) {
            result.append(c);
            ++at;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype close = expression.indexOf(c, at + 1);
            if (close < 0)
                return QString();
            result.append(QStringView(expression).mid(at, close + 1 - at));
            at = close + 1;
            previous = Previous::Operand;
        } else if (c.isDigit() ||
                   (c == QLatin1Char('.') && at + 1 < expression.size() && expression.at(at + 1).isDigit())) {
            const qsizetype start = at;
            while (at < expression.size() &&
                   (expression.at(at).isDigit() || expression.at(at) == QLatin1Char('.')))
                ++at;
            result.append(QStringView(expression).mid(start, at - start));
            previous = Previous::Operand;
        } else if (c == QLatin1Char('.')) {
            const qsizetype length = expression.mid(at, 2) == QLatin1String("..") ? 2 : 1;
            result.append(QStringView(expression).mid(at, length));
            at += length;
            previous = Previous::Operand;
        } else if (c == QLatin1Char('$')) {
            const qsizetype start = at;
            at = nameEnd(expression, at + 1);
            if (at < expression.size() && expression.at(at) == QLatin1Char(':') &&
                expression.mid(at, 2) != QLatin1String("::"))
                at = nameEnd(expression, at + 1);
            result.append(QStringView(expression).mid(start, at - start));
            previous = Previous::Operand;
        } else if (c == QLatin1Char('@')) {
            result.append(c);
            ++at;
            previous = Previous::Opening;
            nonElementAxis = true;
        } else if (expression.mid(at, 2) == QLatin1String("::")) {
            result.append(QLatin1String("::"));
            at += 2;
            previous = Previous::Opening;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('[') || c == QLatin1Char(',')) {
            result.append(c);
            ++at;
            previous = Previous::Opening;
        } else if (c == QLatin1Char(')') || c == QLatin1Char(']')) {
            result.append(c);
            ++at;
            previous = Previous::Operand;
        } else if (c == QLatin1Char('*')) {
            result.append(c);
            ++at;
            if (nameAllowed())
                nonElementAxis = false;
            previous = nameAllowed() ? Previous::Operand : Previous::Operator;
        } else if (isNameStart(c)) {
            const qsizetype start = at;
            at = nameEnd(expression, at);
            const QString name = expression.mid(start, at - start);
            if (!nameAllowed()) { // "and", "or", "div", "mod"
                result.append(name);
                previous = Previous::Operator;
                continue;
            }
            if (at < expression.size() && expression.at(at) == QLatin1Char(':') &&
                expression.mid(at, 2) != QLatin1String("::")) {
                // A prefixed name test ("media:thumbnail", "p:*") or function: copied.
                const qsizetype localStart = at + 1;
                at = localStart < expression.size() && expression.at(localStart) == QLatin1Char('*')
                         ? localStart + 1
                         : nameEnd(expression, localStart);
                result.append(QStringView(expression).mid(start, at - start));
                previous = Previous::Operand;
                nonElementAxis = false;
                continue;
            }
            const qsizetype next = skipBlanks(expression, at);
            if (next < expression.size() && expression.at(next) == QLatin1Char('(')) {
                result.append(name); // a function or node type test
                previous = Previous::Operand;
                nonElementAxis = false;
            } else if (expression.mid(next, 2) == QLatin1String("::")) {
                result.append(name);
                nonElementAxis = name == QLatin1String("attribute") || name == QLatin1String("namespace");
                previous = Previous::Operand; // "::" follows and makes it an opening
            } else if (nonElementAxis) {
                result.append(name);
                previous = Previous::Operand;
                nonElementAxis = false;
            } else {
                result.append(widened(name, prefixes));
                previous = Previous::Operand;
                changed = true;
            }
        } else {
            // Operators and path separators: "/", "//", "|", "+", "-", "=", "!=", "<", "<=", ">", ">=".
            result.append(c);
            ++at;
            previous = Previous::Operator;
        }
    }
    return changed ? result : QString();
}

} // namespace platform
