#include "platform/StreamedLocationPaths.h"

#include "platform/SimpleLocationPath.h"
#include "platform/XmlErrorCapture.h"
#include "platform/XmlMemoryReader.h"

#include <algorithm>
#include <climits>
#include <libxml/parser.h>
#include <string_view>

namespace platform {

int StreamedLocationPaths::nameId(const QByteArray& name) {
    if (name.isEmpty())
        return 0;
    const auto [it, added] = m_nameIds.emplace(name.toStdString(), int(m_nameIds.size()) + 1);
    return it->second;
}

std::shared_ptr<const StreamedLocationPaths> StreamedLocationPaths::make(const QStringList& expressions) {
    auto made = std::make_shared<StreamedLocationPaths>();
    made->m_expressions = expressions;
    made->m_nodes.emplace_back();
    for (qsizetype index = 0; index < expressions.size(); ++index) {
        const std::optional<SimpleLocationPath> path = SimpleLocationPath::parse(expressions.at(index));
        if (!path)
            return nullptr;
        // Relative or absolute, a path starts at the document node here.
        int node = 0;
        for (const SimpleLocationPath::Step& step : path->steps()) {
            const std::uint64_t key = stepKey(made->nameId(step.name), step.position);
            const auto found = made->m_nodes[std::size_t(node)].children.find(key);
            if (found != made->m_nodes[std::size_t(node)].children.end()) {
                node = found->second;
                continue;
            }
            const int added = int(made->m_nodes.size());
            made->m_nodes.emplace_back();
            made->m_nodes[std::size_t(node)].children.emplace(key, added);
            node = added;
        }
        Node& last = made->m_nodes[std::size_t(node)];
        switch (path->endingKind()) {
        case SimpleLocationPath::Ending::Element:
            last.elementPaths.push_back(int(index));
            break;
        case SimpleLocationPath::Ending::Attribute:
            last.attributePaths.emplace_back(path->attributeName(), int(index));
            break;
        case SimpleLocationPath::Ending::Text:
            last.textPaths.push_back(int(index));
            break;
        }
    }
    return made;
}

/// One parse: libxml2's SAX callbacks drive it. Only elements some path goes through get a frame;
/// the subtrees below the others are merely counted.
class StreamedLocationPaths::Pass {
  public:
    explicit Pass(const StreamedLocationPaths& paths)
        : m_paths(paths), m_values(std::size_t(paths.m_expressions.size())) {
        Frame document;
        document.active.push_back(0);
        m_frames.push_back(std::move(document));
    }

    std::optional<Values> run(const QByteArray& xml) {
        if (xml.size() > INT_MAX)
            return std::nullopt;
        XmlErrorCapture capture;
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = &Pass::startElement;
        handler.endElementNs = &Pass::endElement;
        handler.characters = &Pass::characters;
        handler.ignorableWhitespace = &Pass::characters;
        handler.cdataBlock = &Pass::cdata;
        handler.comment = &Pass::comment;
        handler.processingInstruction = &Pass::instruction;
        handler.internalSubset = &Pass::documentType;
        handler.externalSubset = &Pass::documentType;
        handler.reference = &Pass::reference;
        XmlMemoryReader reader{xml.constData(), xml.size()};
        // The options of the tree's parse (XmlDocument): nothing fetched, entities as references.
        m_context = reader.saxContext(handler, this);
        if (!m_context)
            return std::nullopt;
        xmlParseDocument(m_context);
        const bool wellFormed = m_context->wellFormed && !m_treeNeeded;
        xmlFreeParserCtxt(m_context);
        if (!wellFormed)
            return std::nullopt;
        if (m_defaultNamespace && m_answered < m_values.size())
            return std::nullopt;
        return std::move(m_values);
    }

  private:
    struct Frame {
        std::vector<int> active;                     // the trie nodes this element stands for
        std::vector<std::pair<int, int>> nameCounts; // name id, element children of that name so far
        int elements = 0;                            // element children so far
        std::vector<int> waitingForText;             // nodes whose text() is this element's first text child
    };
    struct Capture {
        int node;
        std::size_t frame;
        std::string text;
    };

    static Pass& of(void* context) { return *static_cast<Pass*>(context); }

    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int, const xmlChar** attributes) {
        Pass& pass = of(context);
        pass.endTextRun();
        for (int i = 0; i < namespaceCount; ++i)
            if (!namespaces[2 * i] && namespaces[2 * i + 1] && *namespaces[2 * i + 1])
                pass.m_defaultNamespace = true;
        if (pass.m_inactive > 0) {
            ++pass.m_inactive;
            return;
        }
        Frame child;
        pass.match(pass.m_frames.back(), child, localName, !prefix && !uri);
        if (child.active.empty()) {
            pass.m_inactive = 1;
            return;
        }
        pass.m_frames.push_back(std::move(child));
        pass.arrive(attributeCount, attributes);
    }

    static void endElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        Pass& pass = of(context);
        pass.endTextRun();
        if (pass.m_inactive > 0) {
            --pass.m_inactive;
            return;
        }
        const std::size_t closing = pass.m_frames.size() - 1;
        for (auto capture = pass.m_captures.begin(); capture != pass.m_captures.end();) {
            if (capture->frame != closing) {
                ++capture;
                continue;
            }
            for (int path : pass.m_paths.m_nodes[std::size_t(capture->node)].elementPaths)
                pass.answer(path, capture->text);
            capture = pass.m_captures.erase(capture);
        }
        pass.m_frames.pop_back();
    }

    static void characters(void* context, const xmlChar* text, int length) {
        of(context).take(reinterpret_cast<const char*>(text), std::size_t(length), false);
    }

    static void cdata(void* context, const xmlChar* text, int length) {
        of(context).take(reinterpret_cast<const char*>(text), std::size_t(length), true);
    }

    static void comment(void* context, const xmlChar*) { of(context).endTextRun(); }

    static void instruction(void* context, const xmlChar*, const xmlChar*) { of(context).endTextRun(); }

    // Entities and default attributes come from a document type: the tree resolves them.
    static void documentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        of(context).needTree();
    }

    static void reference(void* context, const xmlChar*) { of(context).needTree(); }

    void needTree() {
        m_treeNeeded = true;
        xmlStopParser(m_context);
    }

    /// The trie nodes `child` stands for, from its parent's: by name and position among the
    /// parent's unprefixed children of that name, and as "*" by position among all its elements.
    void match(Frame& parent, Frame& child, const xmlChar* localName, bool plain) {
        const int position = ++parent.elements;
        int id = -1;
        int namePosition = 0;
        if (plain) {
            id = nameIdOf(localName);
            if (id > 0) {
                auto counted = std::find_if(parent.nameCounts.begin(), parent.nameCounts.end(),
                                            [id](const auto& count) { return count.first == id; });
                if (counted == parent.nameCounts.end())
                    counted = parent.nameCounts.insert(parent.nameCounts.end(), {id, 0});
                namePosition = ++counted->second;
            }
        }
        for (int node : parent.active) {
            const auto& children = m_paths.m_nodes[std::size_t(node)].children;
            if (children.empty())
                continue;
            const auto add = [&](std::uint64_t key) {
                const auto found = children.find(key);
                if (found != children.end())
                    child.active.push_back(found->second);
            };
            if (id > 0) {
                add(stepKey(id, 0));
                add(stepKey(id, namePosition));
            }
            add(stepKey(0, 0));
            add(stepKey(0, position));
        }
    }

    /// The element just pushed: its attribute paths, its captures, the text it waits for.
    void arrive(int attributeCount, const xmlChar** attributes) {
        Frame& frame = m_frames.back();
        for (int node : frame.active) {
            const Node& ending = m_paths.m_nodes[std::size_t(node)];
            if (!ending.elementPaths.empty() && !m_values[std::size_t(ending.elementPaths.front())])
                m_captures.push_back({node, m_frames.size() - 1, std::string()});
            for (const auto& [name, path] : ending.attributePaths)
                if (!m_values[std::size_t(path)])
                    answerAttribute(path, name, attributeCount, attributes);
            if (!ending.textPaths.empty() && !m_values[std::size_t(ending.textPaths.front())])
                frame.waitingForText.push_back(node);
        }
    }

    void answerAttribute(int path, const QByteArray& name, int count, const xmlChar** attributes) {
        for (int i = 0; i < count; ++i) {
            const xmlChar* const* attribute = attributes + 5 * i;
            if (attribute[1] || attribute[2] || name != reinterpret_cast<const char*>(attribute[0]))
                continue;
            const char* begin = reinterpret_cast<const char*>(attribute[3]);
            const char* end = reinterpret_cast<const char*>(attribute[4]);
            // Without entity substitution libxml2 hands "&" over as "&#38;", for the tree to decode.
            std::string value;
            value.reserve(std::size_t(end - begin));
            for (const char* c = begin; c < end; ++c) {
                if (*c != '&') {
                    value.push_back(*c);
                } else if (end - c >= 5 && std::string_view(c, 5) == "&#38;") {
                    value.push_back('&');
                    c += 4;
                } else {
                    needTree();
                    return;
                }
            }
            answer(path, std::move(value));
            return;
        }
    }

    void take(const char* text, std::size_t length, bool cdata) {
        for (Capture& capture : m_captures)
            capture.text.append(text, length);
        // Consecutive characters are one text node, and consecutive CDATA sections one CDATA node.
        if (m_textRun && cdata != m_textRunIsCData)
            endTextRun();
        if (m_textRun) {
            m_textRunText.append(text, length);
            return;
        }
        if (m_inactive > 0 || m_frames.back().waitingForText.empty())
            return;
        m_textRun = true;
        m_textRunIsCData = cdata;
        m_textRunText.assign(text, length);
    }

    /// The first text child of the current element is complete.
    void endTextRun() {
        if (!m_textRun)
            return;
        m_textRun = false;
        Frame& frame = m_frames.back();
        for (int node : frame.waitingForText)
            for (int path : m_paths.m_nodes[std::size_t(node)].textPaths)
                answer(path, m_textRunText);
        frame.waitingForText.clear();
    }

    void answer(int path, std::string value) {
        std::optional<std::string>& slot = m_values[std::size_t(path)];
        if (slot)
            return;
        slot = std::move(value);
        ++m_answered;
    }

    int nameIdOf(const xmlChar* localName) {
        // libxml2 hands each name over from its dictionary: one string per name and parse.
        const auto cached = m_nameIdCache.find(localName);
        if (cached != m_nameIdCache.end())
            return cached->second;
        const auto known = m_paths.m_nameIds.find(reinterpret_cast<const char*>(localName));
        const int id = known == m_paths.m_nameIds.end() ? -1 : known->second;
        m_nameIdCache.emplace(localName, id);
        return id;
    }

    const StreamedLocationPaths& m_paths;
    Values m_values;
    std::size_t m_answered = 0;
    xmlParserCtxtPtr m_context = nullptr;
    std::vector<Frame> m_frames;
    int m_inactive = 0; // depth inside an element no path goes through
    std::vector<Capture> m_captures;
    bool m_textRun = false;
    bool m_textRunIsCData = false;
    std::string m_textRunText;
    std::unordered_map<const xmlChar*, int> m_nameIdCache;
    bool m_defaultNamespace = false;
    bool m_treeNeeded = false;
};

std::optional<StreamedLocationPaths::Values>
StreamedLocationPaths::firstStringValues(const QByteArray& xml) const {
    return Pass(*this).run(xml);
}

} // namespace platform
