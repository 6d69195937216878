#pragma once

#include "platform/Json.h"

#include <QByteArray>
#include <QStringList>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

class JsonPathQuery;

/// One JSON text parsed into simdjson's compact form: parsing takes a few milliseconds for
/// megabytes, and values become JsonValue only when asked for (a lookup builds the value it
/// returns, not the tree around it).
///
/// Reads exactly what parseJson() reads. It refuses, without a reason, what simdjson cannot take
/// or might read differently (integers beyond 64 bits, a byte order mark, values nested
/// MaximumJsonNestingDepth deep or deeper, anything malformed): parseJson() gives the verdict and
/// the error text for those. The integer "-0" is the one value that comes out with another type
/// than nlohmann's parser gives it: an unsigned zero instead of a signed one (the same number,
/// written "0" either way).
///
/// Threads: parse() may run on any thread; a feed is then used by one thread at a time (lookups
/// remember the elements of long arrays and the filter indexes of JSONPath queries).
class JsonFeed {
  public:
    /// Null when simdjson refuses the text (see above).
    static std::unique_ptr<JsonFeed> parse(const QByteArray& bytes);
    ~JsonFeed();
    JsonFeed(const JsonFeed&) = delete;
    JsonFeed& operator=(const JsonFeed&) = delete;

    bool isObject() const;
    bool isArray() const;

    /// The whole text as one JsonValue, the same value parseJson() gives.
    JsonValue toJsonValue() const;

    /// The value `components` lead to, by JsonKeyPath's rules: object members by key (the last
    /// of equal keys, as parsing keeps it), array elements by the component's decimal reading
    /// (one that is not a number reads as 0). Nullopt when a key is missing, an index lies outside
    /// its array, or a scalar is reached before the path ends.
    std::optional<JsonValue> valueAt(const QStringList& components) const;

    /// The first `limit` nodes the JSONPath query selects, in order, each built as a JsonValue
    /// on its own (the same values toJsonValue() has there). Equality filters over long arrays
    /// build an index on first use, kept with the feed for the queries after it.
    std::vector<JsonValue> select(const JsonPathQuery& query,
                                  std::size_t limit = std::numeric_limits<std::size_t>::max()) const;

  private:
    struct Parsed;
    explicit JsonFeed(std::unique_ptr<Parsed> parsed);
    std::unique_ptr<Parsed> m_parsed;
};

} // namespace platform
