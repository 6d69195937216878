#pragma once

#include "platform/Json.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

/// Answers key paths (object keys and array indexes, as JsonFeed::valueAt takes them) in one pass
/// of simdjson's on-demand parser over a JSON text, without its parsed form: for each path, the
/// value JsonFeed::valueAt gives over the parsed feed. The pass reads every value, so a text the
/// compact parse refuses is refused here too; it keeps only the text and the positions of its
/// tokens, a third of the memory of the parsed form.
///
/// Made once for a list of paths, then used by any number of threads at once (a pass keeps its
/// state on the stack).
class StreamedKeyPaths {
  public:
    using Values = std::vector<std::optional<JsonValue>>;

    /// `paths` as lists of components.
    static std::shared_ptr<const StreamedKeyPaths> make(const std::vector<QStringList>& paths);

    /// The value each path leads to (nullopt: nowhere), in the order of the paths. Nullopt as a
    /// whole where the text is not one JSON object or array the compact parse takes (malformed,
    /// nested deeper than MaximumJsonNestingDepth, a number out of range, a scalar at the top):
    /// the parse then decides, and words why.
    std::optional<Values> values(const QByteArray& json) const;

    std::size_t pathCount() const { return m_chains.size(); }

  private:
    class Pass;
    struct Node {
        std::string key;                                // the component, UTF-8
        qint32 index = 0;                               // the component as an array index
        std::vector<std::pair<std::string, int>> byKey; // children, sorted by key
        std::vector<std::pair<qint32, int>> byIndex;    // children, sorted by index
        std::vector<int> ends;                          // the paths that end here
        std::vector<int> below;                         // the paths that end here or further down
        int depth = 0;                                  // components from the top
    };
    int childFor(int parent, const QString& component);

    std::vector<Node> m_nodes;              // m_nodes[0]: the top of the text
    std::vector<std::vector<int>> m_chains; // each path's nodes, from the top's child down
};

} // namespace platform
