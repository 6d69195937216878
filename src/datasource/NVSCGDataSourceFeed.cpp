#include "datasource/NVSCGDataSourceFeed.h"

#include "datasource/NVSCGDataSource.h"
#include "datasource/NVSCGDataSourceNode.h"
#include "platform/BackgroundRelease.h"
#include "platform/XPathCache.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"
#include "platform/XmlPushParser.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Compiled expressions are per thread (libxml2 memoises inside them while evaluating).
platform::XPathCache& threadCache() {
    thread_local platform::XPathCache cache;
    return cache;
}

// Evaluators are kept for this many threads of one feed (the main thread, the helpers of a long
// listing, an export); any other thread makes one for each lookup.
constexpr std::size_t KeptEvaluators = 8;

std::uint64_t nextFeedSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}

bool isDefaultNamespace(xmlNodePtr element) {
    return element->ns && !element->ns->prefix;
}

struct SiblingCount {
    std::intptr_t total = 0;
    std::intptr_t next = 0;
};

// Counts of the element children of one parent by name and prefix (null: none), without an
// allocation for most parents: a parent has a handful of names, kept in place and found by a
// look along that short list (the names of one document share their storage, so most looks
// compare pointers); only a parent with many names puts the rest in a hash index.
class SiblingCounts {
  public:
    SiblingCount& operator[](xmlNodePtr element) { return at(element->name, prefix(element)); }
    SiblingCount& named(xmlNodePtr element) { return at(element->name, nullptr); }

  private:
    static const xmlChar* prefix(xmlNodePtr element) { return element->ns ? element->ns->prefix : nullptr; }
    static bool same(const xmlChar* a, const xmlChar* b) { return a == b || (a && b && xmlStrEqual(a, b)); }
    static std::string key(const xmlChar* name, const xmlChar* prefix) {
        std::string text(reinterpret_cast<const char*>(name));
        text.push_back('\x01');
        if (prefix)
            text.append(reinterpret_cast<const char*>(prefix));
        return text;
    }

    struct Entry {
        const xmlChar* name;
        const xmlChar* prefix;
        SiblingCount count;
        bool is(const xmlChar* otherName, const xmlChar* otherPrefix) const {
            return same(name, otherName) && same(prefix, otherPrefix);
        }
    };

    SiblingCount& at(const xmlChar* name, const xmlChar* prefix) {
        if (m_last && m_last->is(name, prefix))
            return m_last->count;
        for (std::size_t i = 0; i < m_listed; ++i) {
            if (m_listedEntries[i].is(name, prefix)) {
                m_last = &m_listedEntries[i];
                return m_last->count;
            }
        }
        if (m_listed < ListedNames) {
            m_last = &m_listedEntries[m_listed++];
            *m_last = Entry{name, prefix, {}};
            return m_last->count;
        }
        // std::unordered_map keeps its elements in place: the pointer stays good.
        Entry& entry = m_more.try_emplace(key(name, prefix), Entry{name, prefix, {}}).first->second;
        m_last = &entry;
        return entry.count;
    }

    static constexpr std::size_t ListedNames = 16;
    Entry m_listedEntries[ListedNames];
    std::size_t m_listed = 0;
    std::unordered_map<std::string, Entry> m_more;
    Entry* m_last = nullptr;
};

// `_private` holds the location-path position in its lower half and the named-path position
// in its upper half. A position beyond a half's range (only possible on 32-bit systems, past
// 65535 siblings) is not recorded.
constexpr unsigned HalfBits = sizeof(std::uintptr_t) * 4;
constexpr std::uintptr_t HalfMask = (std::uintptr_t(1) << HalfBits) - 1;

std::uintptr_t fitted(std::intptr_t position) {
    return position > 0 && std::uintptr_t(position) <= HalfMask ? std::uintptr_t(position) : 0;
}

void setPositions(xmlNodePtr element, std::intptr_t position, std::intptr_t namedPosition) {
    element->_private = reinterpret_cast<void*>(fitted(position) | (fitted(namedPosition) << HalfBits));
}

std::intptr_t position(xmlNodePtr element) {
    return std::intptr_t(reinterpret_cast<std::uintptr_t>(element->_private) & HalfMask);
}

std::intptr_t namedPosition(xmlNodePtr element) {
    return std::intptr_t(reinterpret_cast<std::uintptr_t>(element->_private) >> HalfBits);
}

bool isUnprefixed(xmlNodePtr element) {
    return !element->ns || !element->ns->prefix;
}

void appendStep(QString& path, const char* name, std::intptr_t index) {
    path.append(QLatin1Char('/'));
    path.append(QString::fromUtf8(name));
    if (index > 0) {
        path.append(QLatin1Char('['));
        path.append(QString::number(index));
        path.append(QLatin1Char(']'));
    }
}

} // namespace

NVSCGDataSourceFeed::NVSCGDataSourceFeed(std::shared_ptr<platform::XmlDocument> document)
    : m_document(std::move(document)), m_serial(nextFeedSerial()) {}

std::shared_ptr<NVSCGDataSourceFeed>
NVSCGDataSourceFeed::withRecordedPositions(std::unique_ptr<platform::XmlDocument> document) {
    if (!document)
        return nullptr;
    // A feed's tree is hundreds of thousands of blocks: the one a refresh replaces is freed on the
    // release thread, not on the main thread that lets go of its rows.
    auto feed =
        std::make_shared<NVSCGDataSourceFeed>(platform::BackgroundRelease::share(std::move(document)));
    feed->m_positionsRecorded = true;
    return feed;
}

std::shared_ptr<NVSCGDataSourceFeed> NVSCGDataSourceFeed::parse(QByteArray&& bytes, platform::Error* error) {
    return withRecordedPositions(
        platform::XmlDocument::parse(std::move(bytes), error, &NVSCGDataSourceFeed::recordPositions));
}

std::unique_ptr<platform::XmlPushParser> NVSCGDataSourceFeed::pushParser() {
    return std::make_unique<platform::XmlPushParser>(&NVSCGDataSourceFeed::recordPositions);
}

std::shared_ptr<NVSCGDataSourceFeed> NVSCGDataSourceFeed::fromPushParser(platform::XmlPushParser& parser,
                                                                         platform::Error* error) {
    return withRecordedPositions(parser.finish(error));
}

NVSCGDataSourceFeed::~NVSCGDataSourceFeed() = default;

void NVSCGDataSourceFeed::recordPositions(xmlNodePtr parent) {
    // libxml2's rule: a name in a default namespace is written "*" and numbered among all element
    // siblings; any other is numbered among siblings of the same name and prefix, and only when
    // it has such siblings.
    SiblingCounts counts;
    // Named paths: unprefixed elements of one local name, in any default namespace or none.
    SiblingCounts unprefixedCounts;
    bool defaultNamespaced = false;
    std::intptr_t elements = 0;
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        ++elements;
        if (!isDefaultNamespace(child))
            ++counts[child].total;
        defaultNamespaced = defaultNamespaced || isDefaultNamespace(child);
    }
    if (elements == 0)
        return; // a leaf: most elements of a feed
    if (defaultNamespaced) {
        for (xmlNodePtr child = parent->children; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE && isUnprefixed(child))
                ++unprefixedCounts.named(child).total;
        }
    }
    std::intptr_t index = 0;
    for (xmlNodePtr child = parent->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        ++index;
        if (isDefaultNamespace(child)) {
            SiblingCount& named = unprefixedCounts.named(child);
            ++named.next;
            setPositions(child, elements > 1 ? index : 0, named.total > 1 ? named.next : 0);
        } else {
            SiblingCount& count = counts[child];
            ++count.next;
            setPositions(child, count.total > 1 ? count.next : 0, 0);
        }
    }
}

std::shared_ptr<NVSCGDataSourceNode>
NVSCGDataSourceFeed::buildTree(const std::shared_ptr<NVSCGDataSourceFeed>& feed) {
    xmlNodePtr root = feed ? feed->m_document->rootElement() : nullptr;
    if (!root)
        return nullptr;
    // Positions first, breadth by breadth, so that node construction can read any path.
    setPositions(root, 0, 0);
    if (feed->m_positionsRecorded)
        return std::make_shared<NVSCGDataSourceNode>(feed, root);
    std::vector<xmlNodePtr> pending{root};
    while (!pending.empty()) {
        xmlNodePtr element = pending.back();
        pending.pop_back();
        recordPositions(element);
        for (xmlNodePtr child = element->children; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE)
                pending.push_back(child);
        }
    }
    return std::make_shared<NVSCGDataSourceNode>(feed, root);
}

void NVSCGDataSourceFeed::setOwner(NVSCGDataSource* owner) {
    m_owner = owner;
}

NVSCGDataSource* NVSCGDataSourceFeed::owner() const {
    return m_owner.data();
}

QString NVSCGDataSourceFeed::locationPath(xmlNodePtr element) {
    std::vector<xmlNodePtr> chain;
    for (xmlNodePtr node = element; node && node->type == XML_ELEMENT_NODE; node = node->parent)
        chain.push_back(node);
    QString path;
    path.reserve(int(chain.size()) * 16);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        xmlNodePtr node = *it;
        path.append(QLatin1Char('/'));
        if (isDefaultNamespace(node)) {
            path.append(QLatin1Char('*'));
        } else {
            if (node->ns && node->ns->prefix) {
                path.append(QString::fromUtf8(reinterpret_cast<const char*>(node->ns->prefix)));
                path.append(QLatin1Char(':'));
            }
            path.append(QString::fromUtf8(reinterpret_cast<const char*>(node->name)));
        }
        if (const std::intptr_t index = position(node); index > 0) {
            path.append(QLatin1Char('['));
            path.append(QString::number(index));
            path.append(QLatin1Char(']'));
        }
    }
    return path;
}

QString NVSCGDataSourceFeed::namedLocationPath(xmlNodePtr element) {
    std::vector<xmlNodePtr> chain;
    bool named = false;
    for (xmlNodePtr node = element; node && node->type == XML_ELEMENT_NODE; node = node->parent) {
        chain.push_back(node);
        named = named || isDefaultNamespace(node);
    }
    if (!named)
        return QString();
    QString path;
    path.reserve(int(chain.size()) * 16);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        xmlNodePtr node = *it;
        if (isDefaultNamespace(node)) {
            appendStep(path, reinterpret_cast<const char*>(node->name), namedPosition(node));
        } else if (node->ns && node->ns->prefix) {
            const std::string name = std::string(reinterpret_cast<const char*>(node->ns->prefix)) + ':' +
                                     reinterpret_cast<const char*>(node->name);
            appendStep(path, name.c_str(), position(node));
        } else {
            appendStep(path, reinterpret_cast<const char*>(node->name), position(node));
        }
    }
    return path;
}

std::optional<QString> NVSCGDataSourceFeed::firstStringValue(const QString& relativeExpression,
                                                             xmlNodePtr context) {
    if (platform::XPathEvaluator* evaluator = evaluatorOfThisThread())
        return evaluator->firstNodeStringValue(relativeExpression, context);
    platform::XPathEvaluator temporary(*m_document, &threadCache());
    temporary.useDocumentNamespaces();
    return temporary.firstNodeStringValue(relativeExpression, context);
}

platform::XPathEvaluator* NVSCGDataSourceFeed::evaluatorOfThisThread() {
    // The feed and evaluator this thread used last: the next lookup is nearly always in the same
    // feed, and then needs no lock.
    thread_local std::pair<std::uint64_t, platform::XPathEvaluator*> last{0, nullptr};
    if (last.first == m_serial)
        return last.second;
    std::lock_guard lock(m_mutex);
    const std::thread::id thread = std::this_thread::get_id();
    auto found = std::find_if(m_evaluators.begin(), m_evaluators.end(),
                              [&](const auto& kept) { return kept.first == thread; });
    if (found == m_evaluators.end()) {
        if (m_evaluators.size() == KeptEvaluators)
            return nullptr;
        // With a cache of its own: a later thread given the same id by the system takes this
        // evaluator over, and this thread's cache ends with this thread.
        auto evaluator = std::make_unique<platform::XPathEvaluator>(*m_document);
        evaluator->useDocumentNamespaces();
        found = m_evaluators.insert(m_evaluators.end(), {thread, std::move(evaluator)});
    }
    last = {m_serial, found->second.get()};
    return last.second;
}

QString NVSCGDataSourceFeed::intern(const QString& text) {
    std::lock_guard lock(m_mutex);
    auto found = m_strings.constFind(text);
    if (found != m_strings.constEnd())
        return *found;
    m_strings.insert(text);
    return text;
}
