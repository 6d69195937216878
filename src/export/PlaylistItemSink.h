#pragma once

#include <QByteArray>
#include <initializer_list>

/// Where the elements of a playlist item go as they are made: into libxml2 nodes
/// (PlaylistItemNodes) or straight into the text a formatted print of those nodes gives
/// (PlaylistItemText). Names are XML names; texts and attribute values are XML-ready UTF-8
/// (platform::XmlDocument::content).
class PlaylistItemSink {
  public:
    struct Attribute {
        const char* name;
        QByteArray value;
    };
    using Attributes = std::initializer_list<Attribute>;

    virtual ~PlaylistItemSink() = default;

    /// An element whose elements follow, up to the matching close().
    virtual void open(const char* name) = 0;
    virtual void close() = 0;
    /// An element holding `text` (no text at all when `text` is null), with `attributes` in order.
    virtual void leaf(const char* name, const QByteArray& text, Attributes attributes = {}) = 0;
};
