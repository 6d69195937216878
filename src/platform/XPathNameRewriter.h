#pragma once

#include <QString>
#include <QStringList>

namespace platform {

/// Rewrites the unprefixed element name tests of an XPath 1.0 expression so that they also match
/// elements of that local name in the namespaces bound to `prefixes`: `feed/entry[2]` with the
/// prefix "d" becomes `*[self::feed or self::d:feed]/*[self::entry or self::d:entry][2]`.
///
/// Only name tests on element axes change; attribute and namespace name tests, prefixed names,
/// "*", function names, axis names, node type tests, operator names, variables and literals are
/// copied as they are, following XPath 1.0's lexical disambiguation rules.
class XPathNameRewriter {
  public:
    /// The rewritten expression; a null string when there is nothing to rewrite, `prefixes` is
    /// empty, or the text is not lexically an expression (an unterminated literal, say).
    static QString rewrite(const QString& expression, const QStringList& prefixes);
};

} // namespace platform
