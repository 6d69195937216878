#pragma once

#include "platform/JsonPathQuery.h"

#include <QHashFunctions>
#include <QString>
#include <cstddef>
#include <unordered_map>
#include <variant>

namespace platform {

/// Parsed JSONPath queries keyed by their text, like XPathCache for XPath: a refresh parses each
/// distinct query once, and a query that does not parse is remembered with its error.
/// One thread at a time.
class JsonPathCache {
  public:
    /// The parsed query, parsed on the first request; null when the text is not a query (then
    /// `error`, when given, tells why). Owned by the cache, valid until clear() or its destruction.
    const JsonPathQuery* query(const QString& text, JsonPathError* error = nullptr);

    std::size_t size() const { return m_queries.size(); }
    void clear() { m_queries.clear(); }

    /// Beyond this many distinct texts the cache starts over (an editor checking every keystroke).
    static constexpr std::size_t MaximumSize = 10000;

  private:
    struct Hash {
        std::size_t operator()(const QString& text) const noexcept { return qHash(text); }
    };
    std::unordered_map<QString, std::variant<JsonPathQuery, JsonPathError>, Hash> m_queries;
};

} // namespace platform
