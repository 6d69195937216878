#include "export/PlaylistItemNodes.h"

#include "platform/XmlDocument.h"

void PlaylistItemNodes::open(const char* name) {
    xmlNodePtr element = platform::XmlDocument::addElement(m_open.back(), name, QByteArray());
    if (!m_first)
        m_first = element;
    m_open.push_back(element);
}

void PlaylistItemNodes::close() {
    m_open.pop_back();
}

void PlaylistItemNodes::leaf(const char* name, const QByteArray& text, Attributes attributes) {
    xmlNodePtr element = platform::XmlDocument::addElement(m_open.back(), name, text);
    if (!m_first)
        m_first = element;
    for (const Attribute& attribute : attributes)
        platform::XmlDocument::setAttribute(element, attribute.name, attribute.value);
}
