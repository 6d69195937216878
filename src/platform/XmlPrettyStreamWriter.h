#pragma once

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class AtomicFileWriter;
class XmlDocument;

/// Writes a document the way XmlDocument::toPrettyBytes() prints it, byte for byte, while its
/// root's children are made: each child is printed and freed before the next one is built, so a
/// large document is never whole in memory, nor its text.
///
/// `shell` holds the root element with its attributes and namespaces and no children; children
/// are appended to that root, handed to writeChild() one at a time, and gone afterwards.
///
/// Printing runs on a thread of its own while the caller makes the next children (a playlist's
/// items are made and printed in about equal time), for a shell without a name dictionary (made
/// with XmlDocument::create, not parsed): the children handed over are then apart from anything
/// the caller still changes. A parsed shell prints on the calling thread.
class XmlPrettyStreamWriter {
  public:
    XmlPrettyStreamWriter(XmlDocument& shell, AtomicFileWriter& out);
    ~XmlPrettyStreamWriter();
    XmlPrettyStreamWriter(const XmlPrettyStreamWriter&) = delete;
    XmlPrettyStreamWriter& operator=(const XmlPrettyStreamWriter&) = delete;

    /// Prints `child`, the root's only child, with its indentation, then unlinks and frees it.
    void writeChild(xmlNodePtr child);
    /// Prints the end of the document (or the whole shell when no child was written).
    void finish();

  private:
    void splitShell();
    void print(xmlNodePtr child);
    void hand(xmlNodePtr child);
    void printHanded();
    void stopPrinting();
    void restoreEncoding();

    /// Children handed over at most, and how many wake the printing thread at once.
    static constexpr std::size_t MaximumHanded = 256;
    static constexpr std::size_t HandedPerWake = 16;

    XmlDocument& m_shell;
    AtomicFileWriter& m_out;
    xmlOutputBufferPtr m_buffer = nullptr;
    bool m_started = false;
    QByteArray m_indent;  // before each child
    QByteArray m_lineEnd; // after each child
    QByteArray m_footer;  // after the last child's line
    bool m_encodingNamed = false;
    const xmlChar* m_encoding = nullptr; // the shell's own, while it is named UTF-8

    std::thread m_printer;
    std::mutex m_mutex; // guards what follows
    std::condition_variable m_handedChanged;
    std::deque<xmlNodePtr> m_handed;
    std::vector<xmlNodePtr> m_printed; // to be freed by the caller's thread
    bool m_printerWaits = false;
    bool m_callerWaits = false;
    bool m_closing = false;
};

} // namespace platform
