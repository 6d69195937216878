#pragma once

#include "export/PlaylistItemSink.h"

#include <string>
#include <vector>

/// Appends a playlist item's elements to `out` as platform::XmlPrettyStreamWriter prints the same
/// item made of nodes (libxml2's formatted print below the root, in UTF-8), byte for byte: two
/// spaces of indentation per level, an element holding a text on one line, an empty one closed
/// at once, and the escapes libxml2 writes in texts and in attribute values. Making the text
/// directly spares a large export the making, printing and freeing of every item's nodes.
class PlaylistItemText final : public PlaylistItemSink {
  public:
    /// `level`: the level of the first element (1 for a child of the document's root).
    explicit PlaylistItemText(std::string& out, int level = 1) : m_out(out), m_level(level) {}

    void open(const char* name) override;
    void close() override;
    void leaf(const char* name, const QByteArray& text, Attributes attributes = {}) override;

  private:
    void indent();
    /// Ends the start tag of an opened element before its first child.
    void endStartTag();

    std::string& m_out;
    int m_level;
    std::vector<const char*> m_open;
    bool m_startTagOpen = false;
};
