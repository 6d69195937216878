#include "platform/SimpleLocationPath.h"

#include "platform/XmlChildIndex.h"

#include <QList>
#include <cstring>

namespace platform {

namespace {

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

/// An NCName (no prefix); non-ASCII characters are accepted as libxml2 accepts them in names.
bool isName(const QByteArray& text) {
    if (text.isEmpty() || !isNameStart(text.at(0)))
        return false;
    for (char c : text)
        if (!isNameChar(c))
            return false;
    return true;
}

// Names of siblings mostly differ in their first byte: that comparison is made in place.
bool sameName(const xmlChar* name, const QByteArray& wanted) {
    return name[0] == xmlChar(wanted.at(0)) &&
           std::strcmp(reinterpret_cast<const char*>(name), wanted.constData()) == 0;
}

bool isPlainElement(xmlNodePtr node, const QByteArray& name) {
    return node->type == XML_ELEMENT_NODE && (name.isEmpty() || (!node->ns && sameName(node->name, name)));
}

} // namespace

std::optional<SimpleLocationPath> SimpleLocationPath::parse(const QString& expression) {
    QByteArray text = expression.toUtf8();
    SimpleLocationPath path;
    if (text.startsWith('/')) {
        path.m_absolute = true;
        text.remove(0, 1);
    }
    if (text.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = text.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray part = parts.at(i);
        const bool last = i == parts.size() - 1;
        if (last && part.startsWith('@')) {
            if (!isName(part.mid(1)) || path.m_steps.empty())
                return std::nullopt;
            path.m_ending = Ending::Attribute;
            path.m_attribute = part.mid(1);
            break;
        }
        if (last && part == "text()") {
            if (path.m_steps.empty())
                return std::nullopt;
            path.m_ending = Ending::Text;
            break;
        }
        Step step;
        const qsizetype bracket = part.indexOf('[');
        if (bracket >= 0) {
            if (!part.endsWith(']'))
                return std::nullopt;
            const QByteArray number = part.mid(bracket + 1, part.size() - bracket - 2);
            if (number.isEmpty() || number.at(0) < '1' || number.at(0) > '9' || number.size() > 9)
                return std::nullopt;
            for (char c : number)
                if (c < '0' || c > '9')
                    return std::nullopt;
            step.position = number.toInt();
            part = part.left(bracket);
        }
        if (part != "*" && !isName(part))
            return std::nullopt;
        step.name = part == "*" ? QByteArray() : part;
        path.m_steps.push_back(step);
    }
    return path;
}

xmlNodePtr SimpleLocationPath::firstMatch(xmlNodePtr context, XmlChildIndex& index) const {
    // An absolute path ignores the context node: it starts at the document node.
    xmlNodePtr start = context && m_absolute ? reinterpret_cast<xmlNodePtr>(context->doc) : context;
    return start ? match(start, 0, index) : nullptr;
}

xmlNodePtr SimpleLocationPath::match(xmlNodePtr context, std::size_t step, XmlChildIndex& index) const {
    if (step == m_steps.size())
        return ending(context);
    const Step& current = m_steps[step];
    if (current.position > 0) {
        // A few dozen children are walked sooner than indexed; a parent of thousands (the repeated
        // element of a feed) is indexed once.
        int seen = 0;
        int elements = 0;
        xmlNodePtr child = context->children;
        XmlChildIndex::Walk& last = index.lastWalk();
        if (last.parent == context && last.seen <= current.position && last.name == current.name) {
            if (last.seen == current.position)
                return match(last.at, step + 1, index);
            seen = last.seen;
            elements = last.elements;
            child = last.at->next;
        }
        for (; child && elements < WalkedChildren; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            ++elements;
            if (isPlainElement(child, current.name) && ++seen == current.position) {
                last.parent = context;
                last.name = current.name;
                last.seen = seen;
                last.elements = elements;
                last.at = child;
                return match(child, step + 1, index);
            }
        }
        if (elements < WalkedChildren)
            return nullptr;
        const std::vector<xmlNodePtr>& candidates = index.children(context, current.name);
        if (static_cast<size_t>(current.position) > candidates.size())
            return nullptr;
        return match(candidates[static_cast<size_t>(current.position) - 1], step + 1, index);
    }
    // Children in document order, depth first: the first hit is the first node in document order.
    for (xmlNodePtr child = context->children; child; child = child->next) {
        if (!isPlainElement(child, current.name))
            continue;
        if (xmlNodePtr found = match(child, step + 1, index))
            return found;
    }
    return nullptr;
}

xmlNodePtr SimpleLocationPath::ending(xmlNodePtr element) const {
    switch (m_ending) {
    case Ending::Element:
        return element;
    case Ending::Attribute:
        for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next)
            if (!attribute->ns && sameName(attribute->name, m_attribute))
                return reinterpret_cast<xmlNodePtr>(attribute);
        return nullptr;
    case Ending::Text:
        for (xmlNodePtr child = element->children; child; child = child->next)
            if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
                return child;
        return nullptr;
    }
    return nullptr;
}

} // namespace platform
