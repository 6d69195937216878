#pragma once

#include "platform/Json.h"

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

/// Answers JSON key paths (JsonKeyPath) in one pass of simdjson's on-demand parser over a JSON
/// text, without the parsed form JsonFeed keeps (its tape and string copies are about the size of
/// the text): for each path, the value JsonFeed::valueAt gives for it. The pass still reads every
/// value of the text, so a text it answers is one the full parse accepts.
///
/// Made once for a list of paths, then used by any number of threads at once (a pass keeps its
/// state on the stack).
class StreamedKeyPaths {
  public:
    using Values = std::vector<std::optional<JsonValue>>;

    /// Null when one of `paths` is empty, a JSONPath query, or has MaximumJsonNestingDepth components
    /// or more.
    static std::shared_ptr<const StreamedKeyPaths> make(const QStringList& paths);

    const QStringList& paths() const { return m_paths; }

    /// The value each path leads to (nullopt: nowhere), in the order of the paths. Nullopt as a
    /// whole where only the full parse can tell: a text that is malformed, not an object or array
    /// at the top, starts with a byte order mark, holds integers beyond 64 bits or nests
    /// nearly MaximumJsonNestingDepth deep.
    std::optional<Values> values(const QByteArray& json) const;

  private:
    class Pass;
    /// Member keys are looked up as they stand in the text, without a copy.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const noexcept {
            return std::hash<std::string_view>{}(key);
        }
    };
    /// The values the first components of one or more paths lead to, and what ends there.
    struct Node {
        std::vector<int> endingPaths;
        /// The next nodes by member key, and by array index (the component's decimal reading;
        /// "1" and "01" both lead to element 1), sorted by index.
        std::unordered_map<std::string, int, KeyHash, std::equal_to<>> members;
        std::vector<std::pair<qint32, int>> elements;
        int depth = 0;
    };

    QStringList m_paths;
    std::vector<Node> m_nodes; // m_nodes[0]: the top-level value
};

} // namespace platform
