#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <cstdint>
#include <libxml/tree.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace platform {
class Error;
class XmlDocument;
class XmlPushParser;
class XPathEvaluator;
} // namespace platform
class NVSCGDataSource;
class NVSCGDataSourceNode;

/// One parsed XML feed shared by the nodes built from it: it keeps the libxml2 document alive
/// for as long as any node refers to one of its elements.
///
/// Location paths: building the tree records each element's position among its same-named
/// siblings in the element's `_private` field (0: no such siblings), so that a path is made by
/// walking up the parents instead of libxml2's sibling scan at every level, which is quadratic
/// for a feed with thousands of repeated elements. The paths are exactly libxml2's.
///
/// Named paths: libxml2 writes an element in a default namespace as "*" ("/*/*[3]" in an Atom
/// feed). The named path writes it by local name, numbered among its unprefixed siblings of that
/// name ("/feed/entry[2]"), as feed-path evaluation selects it; the position is recorded in the
/// upper half of `_private`.
///
/// Threads: the tree is built on one thread and then handed over; later lookups may come from
/// several threads at once (cell values), each with an XPath evaluator of its own that the feed
/// keeps for its next lookups.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceFeed {
  public:
    explicit NVSCGDataSourceFeed(std::shared_ptr<platform::XmlDocument> document);
    /// Parses `bytes` (consumed), recording each element's position as soon as its children are
    /// complete, while they are still in the cache. Null (and `error`) when not well-formed.
    static std::shared_ptr<NVSCGDataSourceFeed> parse(QByteArray&& bytes, platform::Error* error = nullptr);
    /// The same for a feed that arrives in pieces: push them into this parser, then take the
    /// feed with fromPushParser().
    static std::unique_ptr<platform::XmlPushParser> pushParser();
    /// Finishes `parser`'s document. Null (and `error`) when not well-formed.
    static std::shared_ptr<NVSCGDataSourceFeed> fromPushParser(platform::XmlPushParser& parser,
                                                               platform::Error* error = nullptr);
    ~NVSCGDataSourceFeed();
    NVSCGDataSourceFeed(const NVSCGDataSourceFeed&) = delete;
    NVSCGDataSourceFeed& operator=(const NVSCGDataSourceFeed&) = delete;

    const std::shared_ptr<platform::XmlDocument>& document() const { return m_document; }

    /// The data source showing this feed: nodes made later take their selection from its
    /// columns. Main thread.
    void setOwner(NVSCGDataSource* owner);
    NVSCGDataSource* owner() const;

    /// The root node of the document's root element (null when it has none), with every
    /// element's position recorded; the other nodes are made when first asked for.
    static std::shared_ptr<NVSCGDataSourceNode> buildTree(const std::shared_ptr<NVSCGDataSourceFeed>& feed);

    /// The location path of an element of a built tree.
    static QString locationPath(xmlNodePtr element);
    /// The named path of an element of a built tree; a null string when no element on the way
    /// down is in a default namespace (the named path is then the location path).
    static QString namedLocationPath(xmlNodePtr element);

    /// The string value of the first node `relativeExpression` selects from `context`;
    /// nullopt when it selects nothing or does not evaluate.
    std::optional<QString> firstStringValue(const QString& relativeExpression, xmlNodePtr context);

    /// One shared copy of equal strings: the wildcard paths of the same element in thousands of
    /// rows are equal and would otherwise each hold their own buffer.
    QString intern(const QString& text);

  private:
    static void recordPositions(xmlNodePtr parent);
    /// This thread's evaluator; null once as many threads as the feed keeps evaluators for have one.
    platform::XPathEvaluator* evaluatorOfThisThread();
    /// The feed of a document parsed with recordPositions; null for null.
    static std::shared_ptr<NVSCGDataSourceFeed>
    withRecordedPositions(std::unique_ptr<platform::XmlDocument> document);

    std::shared_ptr<platform::XmlDocument> m_document;
    bool m_positionsRecorded = false;
    std::mutex m_mutex;
    QSet<QString> m_strings;
    const std::uint64_t m_serial; // never reused: tells this thread's last feed from a later one
    std::vector<std::pair<std::thread::id, std::unique_ptr<platform::XPathEvaluator>>> m_evaluators;
    QPointer<NVSCGDataSource> m_owner;
};
