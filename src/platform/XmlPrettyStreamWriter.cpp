#include "platform/XmlPrettyStreamWriter.h"

#include "platform/AtomicFileWriter.h"
#include "platform/XmlDocument.h"
#include "platform/XmlErrorCapture.h"

#include <libxml/xmlsave.h>

namespace platform {

namespace {

int writeTo(void* context, const char* bytes, int size) {
    static_cast<AtomicFileWriter*>(context)->write(bytes, size);
    return size;
}

} // namespace

XmlPrettyStreamWriter::XmlPrettyStreamWriter(XmlDocument& shell, AtomicFileWriter& out)
    : m_shell(shell), m_out(out) {}

XmlPrettyStreamWriter::~XmlPrettyStreamWriter() {
    restoreEncoding();
    if (m_buffer)
        xmlOutputBufferClose(m_buffer);
}

void XmlPrettyStreamWriter::splitShell() {
    // The document printed around one empty placeholder child shows exactly what comes before a
    // child, how a child is indented and what follows the last one: libxml2's own printing,
    // whatever the root's attributes and namespaces.
    static const QByteArray placeholder = QByteArrayLiteral("graflink-placeholder");
    xmlNodePtr marker = XmlDocument::addElement(m_shell.rootElement(), QString::fromLatin1(placeholder));
    const QByteArray whole = m_shell.toPrettyBytes();
    xmlUnlinkNode(marker);
    xmlFreeNode(marker);
    const QByteArray empty = '<' + placeholder + "/>";
    const qsizetype at = whole.indexOf(empty);
    const qsizetype lineStart = whole.lastIndexOf('\n', at) + 1;
    m_out.write(whole.constData(), lineStart);
    const qsizetype end = at + empty.size();
    const qsizetype nextLine = whole.indexOf('\n', end) + 1;
    m_indent = whole.mid(lineStart, at - lineStart);
    m_lineEnd = whole.mid(end, nextLine - end);
    m_footer = whole.mid(nextLine);
    m_buffer = xmlOutputBufferCreateIO(writeTo, nullptr, &m_out, nullptr);
}

void XmlPrettyStreamWriter::writeChild(xmlNodePtr child) {
    XmlErrorCapture capture;
    xmlUnlinkNode(child);
    if (!m_started) {
        splitShell();
        m_started = true;
        // The document's encoding is named UTF-8 while children are printed: without an encoding,
        // attribute values would come out with their non-ASCII characters as references.
        xmlDocPtr document = m_shell.document();
        m_encoding = document->encoding;
        document->encoding = reinterpret_cast<const xmlChar*>("UTF-8");
        m_encodingNamed = true;
    }
    print(child);
    xmlFreeNode(child);
}

void XmlPrettyStreamWriter::writeText(const char* printed, qsizetype size) {
    if (!m_started) {
        splitShell();
        m_started = true;
    }
    // Past the printing buffer, straight to the file, once that holds everything before.
    xmlOutputBufferFlush(m_buffer);
    m_out.write(printed, size);
}

void XmlPrettyStreamWriter::print(xmlNodePtr child) {
    xmlOutputBufferWrite(m_buffer, int(m_indent.size()), m_indent.constData());
    // Level 1 and formatted: what printing the whole document does for each child of its root.
    xmlNodeDumpOutput(m_buffer, m_shell.document(), child, 1, 1, "UTF-8");
    xmlOutputBufferWrite(m_buffer, int(m_lineEnd.size()), m_lineEnd.constData());
}

void XmlPrettyStreamWriter::restoreEncoding() {
    if (!m_encodingNamed)
        return;
    m_shell.document()->encoding = m_encoding;
    m_encodingNamed = false;
}

void XmlPrettyStreamWriter::finish() {
    if (!m_started) {
        m_out.write(m_shell.toPrettyBytes());
        return;
    }
    restoreEncoding();
    xmlOutputBufferWrite(m_buffer, int(m_footer.size()), m_footer.constData());
    xmlOutputBufferClose(m_buffer);
    m_buffer = nullptr;
}

} // namespace platform
