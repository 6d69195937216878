#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <libxml/tree.h>
#include <memory>
#include <optional>

namespace platform {

/// Owns one libxml2 document. The document and its nodes belong to one thread at a time (libxml2
/// trees are not synchronised); node pointers handed out stay valid until the document is
/// destroyed or the node is removed from it.
///
/// Parsing treats its input as untrusted: nothing is fetched (no network, no external entities or
/// DTDs), references to entities the document declares itself stay reference nodes (string
/// values include their text; libxml2 refuses exponential expansion), and libxml2's default size
/// limits apply.
class XmlDocument {
  public:
    enum class BlankNodes {
        Keep,   ///< whitespace-only text between elements stays in the tree
        Remove, ///< dropped, so that pretty printing can re-indent the document
    };

    /// Parses `bytes` (encoding from the declaration or byte order mark, UTF-8 otherwise).
    /// Returns null and fills `error` (domain Error::XmlDomain, libxml2's code, description
    /// "line N: message") when the document is not well-formed.
    static std::unique_ptr<XmlDocument> parse(const QByteArray& bytes, Error* error = nullptr,
                                              BlankNodes blankNodes = BlankNodes::Keep);
    /// The same, consuming `bytes`: the memory of what has been parsed goes back to the system
    /// while the tree grows, so that a large feed and its tree are not both held at the peak.
    /// `bytes` is empty afterwards.
    static std::unique_ptr<XmlDocument> parse(QByteArray&& bytes, Error* error = nullptr,
                                              BlankNodes blankNodes = BlankNodes::Keep);
    /// Called with each element as soon as its end tag is parsed, its children complete: a walk
    /// over the whole tree once it is built would miss the cache at every node.
    using ElementEnded = void (*)(xmlNodePtr element);
    /// parse(QByteArray&&), calling `ended` for every element on the way.
    static std::unique_ptr<XmlDocument> parse(QByteArray&& bytes, Error* error, ElementEnded ended);
    /// libxml2's options for every parse of a document (nothing fetched, its size limits kept).
    static int parseOptions(BlankNodes blankNodes);
    /// Has `context` call `ended` (if given) for every element on the way.
    static void reportElementEnds(xmlParserCtxtPtr context, ElementEnded ended);

    /// A new document (XML 1.0) holding only an empty root element named `rootElementName`.
    /// Returns null when the name is not a valid XML name.
    static std::unique_ptr<XmlDocument> create(const QString& rootElementName);

    /// Takes ownership of `document`, which must not be null.
    explicit XmlDocument(xmlDocPtr document);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    /// The libxml2 document; owned by this object.
    xmlDocPtr document() const { return m_document; }
    /// The document node, which is the context node for relative XPath expressions.
    xmlNodePtr documentNode() const { return reinterpret_cast<xmlNodePtr>(m_document); }
    /// The root element, or null when the document has none.
    xmlNodePtr rootElement() const;

    /// Pretty-printed UTF-8 with the declaration `<?xml version="1.0" encoding="UTF-8"?>`.
    /// Elements with text content stay on one line; whitespace text kept from parsing
    /// (BlankNodes::Keep) prevents re-indentation of the element that holds it.
    QByteArray toPrettyBytes() const;

    /// Writes toPrettyBytes() to `path` through a temporary file that is renamed over the
    /// destination, so a failure leaves any previous file unchanged. Error::FileDomain on failure.
    bool writePretty(const QString& path, Error* error = nullptr) const;

    /// Appends an element named `name` to `parent`. `text`, when not null, becomes its text
    /// content, escaped as needed; characters XML 1.0 cannot represent are replaced by U+FFFD.
    /// Returns the new element (owned by the document), or null when `name` is not a valid name.
    static xmlNodePtr addElement(xmlNodePtr parent, const QString& name, const QString& text = QString());
    /// The same, with the name in UTF-8 (a literal: no conversion for each element).
    static xmlNodePtr addElement(xmlNodePtr parent, const char* name, const QString& text = QString());
    /// `text` as addElement() and setAttribute() store it (UTF-8, characters XML 1.0 cannot
    /// represent replaced; null for a null text), for a text written into many elements.
    static QByteArray content(const QString& text);
    /// addElement() with text made by content() once.
    static xmlNodePtr addElement(xmlNodePtr parent, const char* name, const QByteArray& content);

    /// Sets attribute `name` of `element` to `value` (escaped on output; characters XML 1.0
    /// cannot represent are replaced by U+FFFD). Returns false when `name` is not a valid name.
    static bool setAttribute(xmlNodePtr element, const QString& name, const QString& value);
    /// The same, with the name in UTF-8.
    static bool setAttribute(xmlNodePtr element, const char* name, const QString& value);
    /// setAttribute() with a value made by content() once.
    static bool setAttribute(xmlNodePtr element, const char* name, const QByteArray& content);

    /// The value of the attribute `name` (no namespace) of `element`, or nullopt when absent.
    static std::optional<QString> attribute(xmlNodePtr element, const QString& name);

  private:
    xmlDocPtr m_document;
};

} // namespace platform
