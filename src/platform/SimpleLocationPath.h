#pragma once

#include <QByteArray>
#include <QString>
#include <libxml/tree.h>
#include <optional>
#include <vector>

namespace platform {

class XmlChildIndex;

/// The XPath shape feeds are addressed with most: child steps by name (or "*") with an optional
/// position, optionally ending in "@attribute" or "text()" ("feed/item[500]/votes",
/// "/rss/channel/item[3]/title", "a/b/@id"). Such a path is answered by walking the tree with a
/// child index, giving the same first node as libxml2's evaluation at a fraction of the cost of
/// its positional filtering. Anything else is not a simple path and goes to libxml2.
class SimpleLocationPath {
  public:
    struct Step {
        QByteArray name;  // empty for "*"
        int position = 0; // 0 when the step has no predicate
    };
    enum class Ending { Element, Attribute, Text };

    /// Empty when `expression` is not of the simple shape (names with prefixes, other axes,
    /// "//", predicates other than a positive integer, blanks, functions...).
    static std::optional<SimpleLocationPath> parse(const QString& expression);

    /// The first selected node in document order from `context` (a document or element node),
    /// or null when the path selects nothing. An absolute path starts at `context`'s document.
    xmlNodePtr firstMatch(xmlNodePtr context, XmlChildIndex& index) const;

    const std::vector<Step>& steps() const { return m_steps; }
    Ending endingKind() const { return m_ending; }
    /// The attribute's name when the path ends in "@name".
    const QByteArray& attributeName() const { return m_attribute; }

  private:
    static constexpr int WalkedChildren = 64;

    xmlNodePtr match(xmlNodePtr context, std::size_t step, XmlChildIndex& index) const;
    xmlNodePtr ending(xmlNodePtr element) const;

    std::vector<Step> m_steps;
    Ending m_ending = Ending::Element;
    QByteArray m_attribute;
    bool m_absolute = false;
};

} // namespace platform
