#pragma once

#include <QByteArray>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

namespace platform {

class AtomicFileWriter;
class XmlDocument;

/// Writes a document the way XmlDocument::toPrettyBytes() prints it, byte for byte, while its
/// root's children are made: each child is printed (and freed) before the next one is made, so a
/// large document is never whole in memory, nor its text.
///
/// `shell` holds the root element with its attributes and namespaces and no children; children
/// are appended to that root and handed to writeChild() one at a time, or made as text already
/// printed (writeText()). One thread at a time.
class XmlPrettyStreamWriter {
  public:
    XmlPrettyStreamWriter(XmlDocument& shell, AtomicFileWriter& out);
    ~XmlPrettyStreamWriter();
    XmlPrettyStreamWriter(const XmlPrettyStreamWriter&) = delete;
    XmlPrettyStreamWriter& operator=(const XmlPrettyStreamWriter&) = delete;

    /// Prints `child`, the root's only child, with its indentation, then unlinks and frees it.
    void writeChild(xmlNodePtr child);
    /// Writes a child already printed as writeChild() would print it, its indentation and line end
    /// included (two spaces, a line feed).
    void writeText(const char* printed, qsizetype size);
    /// Prints the end of the document (or the whole shell when no child was written).
    void finish();

  private:
    void splitShell();
    void print(xmlNodePtr child);
    void restoreEncoding();

    XmlDocument& m_shell;
    AtomicFileWriter& m_out;
    xmlOutputBufferPtr m_buffer = nullptr;
    bool m_started = false;
    QByteArray m_indent;  // before each child
    QByteArray m_lineEnd; // after each child
    QByteArray m_footer;  // after the last child's line
    bool m_encodingNamed = false;
    const xmlChar* m_encoding = nullptr; // the shell's own, while it is named UTF-8
};

} // namespace platform
