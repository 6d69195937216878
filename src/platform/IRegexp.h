#pragma once

#include <QRegularExpression>
#include <QString>
#include <optional>

namespace platform {

/// I-Regexp (RFC 9485), the interoperable regular expressions of JSONPath's match() and
/// search(), carried out by QRegularExpression (PCRE2). A pattern is checked against I-Regexp's
/// grammar and rewritten so that PCRE2 gives it I-Regexp's meaning: "." matches any character
/// but \n and \r, groups do not capture, "^" and "$" outside a class anchor at the ends of the
/// text (never before a final newline, unlike PCRE2's "$"), every literal is
/// written as a code point escape, \p{..} and \P{..} name only the general categories. Whatever
/// else PCRE2 would accept (back-references, \d, lazy or possessive quantifiers, lookaround) is
/// refused.
class IRegexp {
  public:
    /// `pattern` in PCRE2's syntax with its I-Regexp meaning; nullopt when it is not an I-Regexp.
    static std::optional<QString> toPcre(const QString& pattern);

    /// `pattern` compiled for a match of the whole text (`wholeText`) or for a search anywhere in
    /// it; nullopt when it is not an I-Regexp or PCRE2 refuses it (a range out of order, a
    /// quantifier above PCRE2's limit).
    static std::optional<QRegularExpression> compile(const QString& pattern, bool wholeText);
};

} // namespace platform
