#pragma once

#include "platform/Json.h"

#include <QString>
#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

namespace jsonpath {
struct Query;
}

/// Why a JSONPath query was refused, and where.
struct JsonPathError {
    /// Characters (code points) from the start of the query to where it went wrong.
    std::size_t offset = 0;
    QString message;
    /// "message at character N", for people.
    QString toString() const;
};

/// A JSONPath query (RFC 9535), parsed once and evaluated on any number of documents: a
/// JsonValue tree here, a feed in its compact form with JsonFeed::select(). Cheap to copy (the
/// parse is shared and immutable); any thread.
class JsonPathQuery {
  public:
    /// Nullopt, with the reason in `error`, when `text` is not a well-formed and well-typed query.
    static std::optional<JsonPathQuery> parse(const QString& text, JsonPathError* error = nullptr);

    /// Whether a feed path is meant as a JSONPath query: it starts with "$" (a key path never does).
    static bool isQuery(const QString& path) { return path.startsWith(QLatin1Char('$')); }

    /// The first `limit` nodes the query selects in `root`, in order; pointers into `root`.
    std::vector<const JsonValue*> select(const JsonValue& root,
                                         std::size_t limit = std::numeric_limits<std::size_t>::max()) const;

    const jsonpath::Query& syntax() const { return *m_query; }

  private:
    explicit JsonPathQuery(std::shared_ptr<const jsonpath::Query> query) : m_query(std::move(query)) {}
    std::shared_ptr<const jsonpath::Query> m_query;
};

} // namespace platform
