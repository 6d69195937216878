#pragma once

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

/// Answers simple location paths (see SimpleLocationPath) in one pass of libxml2's SAX parser
/// over an XML document, without building its tree: for each path, the string value of the first
/// node it selects from the document node, exactly as XPathEvaluator::firstNodeStringValue gives
/// it over the parsed tree. A feed of ten megabytes makes a tree of about a million nodes; the
/// pass keeps only the elements on the way to a path.
///
/// Made once for a list of paths, then used by any number of threads at once (a pass keeps its
/// state on the stack).
class StreamedLocationPaths {
  public:
    using Values = std::vector<std::optional<std::string>>;

    /// Null when one of `expressions` is not a simple location path.
    static std::shared_ptr<const StreamedLocationPaths> make(const QStringList& expressions);

    const QStringList& expressions() const { return m_expressions; }

    /// The UTF-8 string value of each expression's first node (nullopt: it selects nothing), in
    /// the order of the expressions. Nullopt as a whole where only the tree can tell: a document
    /// that is not well-formed (the tree's parse words the error), one with a document type
    /// declaration (entities, default attributes), or one that declares a default namespace
    /// while a path selected nothing (evaluation then retries with the namespace bound).
    std::optional<Values> firstStringValues(const QByteArray& xml) const;

  private:
    class Pass;
    /// The elements the first steps of one or more paths select, and what ends there.
    struct Node {
        /// The next steps, by step key (name id and position).
        std::unordered_map<std::uint64_t, int> children;
        std::vector<int> elementPaths;
        std::vector<std::pair<QByteArray, int>> attributePaths;
        std::vector<int> textPaths;
    };
    /// Name id 0 is "*"; position 0 is a step without a position.
    static std::uint64_t stepKey(int nameId, int position) {
        return (std::uint64_t(std::uint32_t(nameId)) << 32) | std::uint32_t(position);
    }
    int nameId(const QByteArray& name);

    QStringList m_expressions;
    std::vector<Node> m_nodes; // m_nodes[0]: the document node
    std::unordered_map<std::string, int> m_nameIds;
};

} // namespace platform
