#include "platform/XmlPropertyListReader.h"

#include "platform/CNumericLocale.h"
#include "platform/XmlErrorCapture.h"
#include "platform/XmlMemoryReader.h"

#include <QVariantList>
#include <QVariantMap>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <libxml/parser.h>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

/// "-?(0|[1-9][0-9]*)" within the 64-bit range; other forms (octal and hexadecimal ones, a plus
/// sign, unsigned values past it) are libplist's to read.
std::optional<qint64> integerOf(std::string_view text) {
    text = trimmed(text);
    const std::string_view digits = text.substr(!text.empty() && text.front() == '-' ? 1 : 0);
    if (digits.size() > 1 && digits.front() == '0')
        return std::nullopt;
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

/// "-?[0-9]+(.[0-9]+)?([eE][+-]?[0-9]+)?", read as libplist reads it (strtod, in the C locale).
std::optional<double> realOf(std::string_view text) {
    text = trimmed(text);
    std::string_view rest = text;
    if (!rest.empty() && rest.front() == '-')
        rest.remove_prefix(1);
    const auto digits = [&rest] {
        std::size_t n = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9')
            ++n;
        rest.remove_prefix(n);
        return n > 0;
    };
    if (!digits())
        return std::nullopt;
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        if (!digits())
            return std::nullopt;
    }
    if (!rest.empty() && (rest.front() == 'e' || rest.front() == 'E')) {
        rest.remove_prefix(1);
        if (!rest.empty() && (rest.front() == '+' || rest.front() == '-'))
            rest.remove_prefix(1);
        if (!digits())
            return std::nullopt;
    }
    if (!rest.empty())
        return std::nullopt;
    const std::string terminated(text);
    return strtod_l(terminated.c_str(), nullptr, CNumericLocale::handle());
}

/// Where libxml2 and libplist could read the same bytes differently: a carriage return (XML
/// turns line ends into line feeds, libplist keeps them), character references and entities
/// other than the three libplist writes, sections and comments libplist reads its own way.
bool hasFormsLeftToLibplist(const QByteArray& bytes) {
    const char* data = bytes.constData();
    const std::size_t size = std::size_t(bytes.size());
    if (std::memchr(data, '\r', size))
        return true;
    for (const char* at = static_cast<const char*>(std::memchr(data, '&', size)); at;
         at = static_cast<const char*>(std::memchr(at + 1, '&', size - std::size_t(at + 1 - data)))) {
        const std::string_view next(at, std::size_t(data + size - at));
        if (!next.starts_with("&lt;") && !next.starts_with("&gt;") && !next.starts_with("&amp;"))
            return true;
    }
    return false;
}

class Reading {
  public:
    explicit Reading(int maximumDepth) : m_maximumDepth(maximumDepth) {}

    std::optional<QVariant> run(const QByteArray& bytes) {
        XmlErrorCapture capture;
        xmlSAXHandler handler{};
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = &Reading::startElement;
        handler.endElementNs = &Reading::endElement;
        handler.characters = &Reading::characters;
        handler.ignorableWhitespace = &Reading::characters;
        handler.cdataBlock = &Reading::refuse;
        handler.comment = &Reading::refuseText;
        handler.processingInstruction = &Reading::refuseInstruction;
        handler.reference = &Reading::refuseText;
        handler.entityDecl = &Reading::refuseEntity;
        handler.elementDecl = &Reading::refuseElementDeclaration;
        handler.attributeDecl = &Reading::refuseAttributeDeclaration;
        handler.notationDecl = &Reading::refuseNotation;
        handler.unparsedEntityDecl = &Reading::refuseUnparsedEntity;
        XmlMemoryReader reader{bytes.constData(), bytes.size()};
        m_context = reader.saxContext(handler, this);
        if (!m_context)
            return std::nullopt;
        xmlParseDocument(m_context);
        // An encoding other than UTF-8 was converted by libxml2; libplist takes bytes as UTF-8.
        const bool converted =
            (m_context->encoding && xmlStrcasecmp(m_context->encoding, BAD_CAST "UTF-8") != 0) ||
            (m_context->input && m_context->input->buf && m_context->input->buf->encoder);
        const bool read = m_context->wellFormed && !m_refused && m_done && !converted;
        // A declared entity reaches a document libxml2 makes on its own (for SAX callers like
        // expat), which the context does not free.
        if (m_context->myDoc)
            xmlFreeDoc(m_context->myDoc);
        xmlFreeParserCtxt(m_context);
        if (!read)
            return std::nullopt;
        return std::move(m_root);
    }

  private:
    enum class Leaf { None, String, Key, Integer, Real, True, False };
    struct Container {
        bool isDictionary;
        QVariantMap map;
        QVariantList list;
        QString key;
        bool hasKey = false;
    };

    static Reading& of(void* context) { return *static_cast<Reading*>(context); }

    void refuse() {
        if (!m_refused) {
            m_refused = true;
            xmlStopParser(m_context);
        }
    }

    static void refuse(void* context, const xmlChar*, int) { of(context).refuse(); }
    static void refuseText(void* context, const xmlChar*) { of(context).refuse(); }
    static void refuseInstruction(void* context, const xmlChar*, const xmlChar*) { of(context).refuse(); }
    static void refuseEntity(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
        of(context).refuse();
    }
    static void refuseElementDeclaration(void* context, const xmlChar*, int, xmlElementContentPtr) {
        of(context).refuse();
    }
    static void refuseAttributeDeclaration(void* context, const xmlChar*, const xmlChar*, int, int,
                                           const xmlChar*, xmlEnumerationPtr tree) {
        xmlFreeEnumeration(tree);
        of(context).refuse();
    }
    static void refuseNotation(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
        of(context).refuse();
    }
    static void refuseUnparsedEntity(void* context, const xmlChar*, const xmlChar*, const xmlChar*,
                                     const xmlChar*) {
        of(context).refuse();
    }

    static void startElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar**, int attributeCount, int,
                             const xmlChar**) {
        Reading& reading = of(context);
        if (reading.m_refused)
            return;
        if (prefix || uri || namespaceCount > 0 || reading.m_leaf != Leaf::None || reading.m_done) {
            reading.refuse();
            return;
        }
        const std::string_view name(reinterpret_cast<const char*>(localName));
        if (!reading.m_inRoot) {
            // The root's attributes (version) say nothing to libplist.
            if (name != "plist")
                reading.refuse();
            reading.m_inRoot = true;
            return;
        }
        if (attributeCount > 0) {
            reading.refuse();
            return;
        }
        reading.startValue(name);
    }

    void startValue(std::string_view name) {
        const bool key = name == "key";
        if (m_containers.empty()) {
            if (m_hasRoot || key)
                return refuse();
        } else {
            Container& parent = m_containers.back();
            // A dictionary alternates keys and values; a key anywhere else is libplist's to read.
            if (key != (parent.isDictionary && !parent.hasKey))
                return refuse();
        }
        if (!key && int(m_containers.size()) > m_maximumDepth)
            return refuse();
        m_text.clear();
        if (name == "dict" || name == "array") {
            m_containers.push_back(Container{name == "dict", {}, {}, {}});
            return;
        }
        if (key)
            m_leaf = Leaf::Key;
        else if (name == "string")
            m_leaf = Leaf::String;
        else if (name == "integer")
            m_leaf = Leaf::Integer;
        else if (name == "real")
            m_leaf = Leaf::Real;
        else if (name == "true")
            m_leaf = Leaf::True;
        else if (name == "false")
            m_leaf = Leaf::False;
        else
            refuse();
    }

    static void endElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*) {
        Reading& reading = of(context);
        if (reading.m_refused)
            return;
        const std::string_view name(reinterpret_cast<const char*>(localName));
        if (reading.m_leaf != Leaf::None) {
            reading.endLeaf();
            return;
        }
        if (name == "plist") {
            if (!reading.m_hasRoot)
                return reading.refuse();
            reading.m_done = true;
            return;
        }
        Container finished = std::move(reading.m_containers.back());
        reading.m_containers.pop_back();
        if (finished.hasKey)
            return reading.refuse();
        reading.add(finished.isDictionary ? QVariant(std::move(finished.map))
                                          : QVariant(std::move(finished.list)));
    }

    void endLeaf() {
        const Leaf leaf = m_leaf;
        m_leaf = Leaf::None;
        switch (leaf) {
        case Leaf::Key: {
            // libplist refuses the whole list for <key/> and reads <key></key>, which look the
            // same here.
            if (m_text.empty())
                return refuse();
            Container& parent = m_containers.back();
            parent.key = keyText(m_text);
            parent.hasKey = true;
            return;
        }
        case Leaf::String:
            return add(QString::fromUtf8(m_text.data(), qsizetype(m_text.size())));
        case Leaf::Integer:
            if (const std::optional<qint64> number = integerOf(m_text))
                return add(*number);
            return refuse();
        case Leaf::Real:
            if (const std::optional<double> number = realOf(m_text))
                return add(*number);
            return refuse();
        case Leaf::True:
        case Leaf::False:
            if (!trimmed(m_text).empty())
                return refuse();
            return add(leaf == Leaf::True);
        case Leaf::None:
            return;
        }
    }

    void add(QVariant value) {
        if (m_containers.empty()) {
            m_root = std::move(value);
            m_hasRoot = true;
            return;
        }
        Container& parent = m_containers.back();
        if (!parent.isDictionary) {
            parent.list.append(std::move(value));
            return;
        }
        // Of equal keys the last counts, as it does when libplist's dictionary is converted.
        parent.map.insert(parent.key, std::move(value));
        parent.hasKey = false;
    }

    /// A dictionary's keys are mostly those of the one before it: the last few are kept and
    /// shared instead of converted again.
    QString keyText(const std::string& utf8) {
        for (const auto& [bytes, string] : m_recentKeys)
            if (bytes == utf8)
                return string;
        QString made = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        m_recentKeys[m_nextRecentKey] = {utf8, made};
        m_nextRecentKey = (m_nextRecentKey + 1) % RecentKeys;
        return made;
    }

    static void characters(void* context, const xmlChar* text, int length) {
        Reading& reading = of(context);
        if (reading.m_refused)
            return;
        const char* begin = reinterpret_cast<const char*>(text);
        if (reading.m_leaf != Leaf::None) {
            reading.m_text.append(begin, std::size_t(length));
            return;
        }
        // Between elements only white space.
        for (int i = 0; i < length; ++i)
            if (!isSpace(begin[i]))
                return reading.refuse();
    }

    static constexpr std::size_t RecentKeys = 8;

    int m_maximumDepth;
    xmlParserCtxtPtr m_context = nullptr;
    bool m_refused = false;
    bool m_inRoot = false;
    bool m_hasRoot = false;
    bool m_done = false;
    Leaf m_leaf = Leaf::None;
    std::string m_text;
    std::vector<Container> m_containers;
    QVariant m_root;
    std::pair<std::string, QString> m_recentKeys[RecentKeys];
    std::size_t m_nextRecentKey = 0;
};

} // namespace

std::optional<QVariant> XmlPropertyListReader::read(const QByteArray& bytes, int maximumDepth) {
    // A byte order mark or any other start is libplist's; so are lists libxml2 cannot take whole.
    qsizetype start = 0;
    while (start < bytes.size() && isSpace(bytes.at(start)))
        ++start;
    if (start == bytes.size() || bytes.at(start) != '<' || bytes.size() > INT_MAX ||
        hasFormsLeftToLibplist(bytes))
        return std::nullopt;
    return Reading(maximumDepth).run(bytes);
}

} // namespace platform
