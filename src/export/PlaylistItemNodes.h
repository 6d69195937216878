#pragma once

#include "export/PlaylistItemSink.h"

#include <libxml/tree.h>
#include <vector>

/// Makes a playlist item's elements as libxml2 nodes below `parent`.
class PlaylistItemNodes final : public PlaylistItemSink {
  public:
    explicit PlaylistItemNodes(xmlNodePtr parent) : m_open{parent} {}

    /// The first element made below `parent` (the item), null before any.
    xmlNodePtr first() const { return m_first; }

    void open(const char* name) override;
    void close() override;
    void leaf(const char* name, const QByteArray& text, Attributes attributes = {}) override;

  private:
    std::vector<xmlNodePtr> m_open;
    xmlNodePtr m_first = nullptr;
};
