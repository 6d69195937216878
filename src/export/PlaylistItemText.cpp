#include "export/PlaylistItemText.h"

namespace {

// What libxml2 escapes in a text (xmlEscapeContent) and in an attribute value
// (xmlBufAttrSerializeTxtContent, with the document's encoding named).
const char* textEscape(char c) {
    switch (c) {
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '&':
        return "&amp;";
    case '\r':
        return "&#13;";
    default:
        return nullptr;
    }
}

const char* attributeEscape(char c) {
    switch (c) {
    case '\n':
        return "&#10;";
    case '\t':
        return "&#9;";
    case '"':
        return "&quot;";
    default:
        return textEscape(c);
    }
}

template <class Escape> void appendEscaped(std::string& out, const QByteArray& text, Escape escape) {
    const char* const begin = text.constData();
    const char* const end = begin + text.size();
    const char* plain = begin;
    for (const char* at = begin; at != end; ++at) {
        if (const char* replacement = escape(*at)) {
            out.append(plain, std::size_t(at - plain));
            out.append(replacement);
            plain = at + 1;
        }
    }
    out.append(plain, std::size_t(end - plain));
}

} // namespace

void PlaylistItemText::indent() {
    m_out.append(std::size_t(2 * m_level), ' ');
}

void PlaylistItemText::endStartTag() {
    if (!m_startTagOpen)
        return;
    m_out.append(">\n");
    m_startTagOpen = false;
}

void PlaylistItemText::open(const char* name) {
    endStartTag();
    indent();
    m_out.append(1, '<').append(name);
    m_open.push_back(name);
    m_startTagOpen = true;
    ++m_level;
}

void PlaylistItemText::close() {
    --m_level;
    const char* name = m_open.back();
    m_open.pop_back();
    if (m_startTagOpen) {
        m_out.append("/>\n");
        m_startTagOpen = false;
        return;
    }
    indent();
    m_out.append("</").append(name).append(">\n");
}

void PlaylistItemText::leaf(const char* name, const QByteArray& text, Attributes attributes) {
    endStartTag();
    indent();
    m_out.append(1, '<').append(name);
    for (const Attribute& attribute : attributes) {
        m_out.append(1, ' ').append(attribute.name).append("=\"");
        appendEscaped(m_out, attribute.value, attributeEscape);
        m_out.append(1, '"');
    }
    if (text.isNull()) {
        m_out.append("/>\n");
        return;
    }
    m_out.append(1, '>');
    appendEscaped(m_out, text, textEscape);
    m_out.append("</").append(name).append(">\n");
}
