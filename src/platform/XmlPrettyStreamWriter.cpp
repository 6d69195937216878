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
    stopPrinting();
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
        if (!document->dict)
            m_printer = std::thread([this] { printHanded(); });
    }
    if (m_printer.joinable()) {
        hand(child);
        return;
    }
    print(child);
    xmlFreeNode(child);
}

void XmlPrettyStreamWriter::print(xmlNodePtr child) {
    xmlOutputBufferWrite(m_buffer, int(m_indent.size()), m_indent.constData());
    // Level 1 and formatted: what printing the whole document does for each child of its root.
    xmlNodeDumpOutput(m_buffer, m_shell.document(), child, 1, 1, "UTF-8");
    xmlOutputBufferWrite(m_buffer, int(m_lineEnd.size()), m_lineEnd.constData());
}

void XmlPrettyStreamWriter::hand(xmlNodePtr child) {
    std::vector<xmlNodePtr> printed;
    {
        std::unique_lock lock(m_mutex);
        m_callerWaits = true;
        m_handedChanged.wait(lock, [this] { return m_handed.size() < MaximumHanded; });
        m_callerWaits = false;
        m_handed.push_back(child);
        // A few at a time: a wake for every child would cost more than its printing.
        if (m_printerWaits && m_handed.size() >= HandedPerWake)
            m_handedChanged.notify_all();
        printed.swap(m_printed);
    }
    // Freed by the thread that made them: the allocator's cheap path.
    for (xmlNodePtr done : printed)
        xmlFreeNode(done);
}

void XmlPrettyStreamWriter::printHanded() {
    XmlErrorCapture capture;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_printerWaits = true;
        m_handedChanged.wait(lock, [this] { return m_closing || m_handed.size() >= HandedPerWake; });
        m_printerWaits = false;
        if (m_handed.empty() && m_closing)
            return;
        std::deque<xmlNodePtr> batch;
        batch.swap(m_handed);
        if (m_callerWaits)
            m_handedChanged.notify_all();
        lock.unlock();
        for (xmlNodePtr child : batch)
            print(child);
        lock.lock();
        m_printed.insert(m_printed.end(), batch.begin(), batch.end());
    }
}

void XmlPrettyStreamWriter::stopPrinting() {
    if (!m_printer.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_handedChanged.notify_all();
    m_printer.join();
    for (xmlNodePtr done : m_printed)
        xmlFreeNode(done);
    m_printed.clear();
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
    stopPrinting();
    restoreEncoding();
    xmlOutputBufferWrite(m_buffer, int(m_footer.size()), m_footer.constData());
    xmlOutputBufferClose(m_buffer);
    m_buffer = nullptr;
}

} // namespace platform
