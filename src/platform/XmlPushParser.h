#pragma once

#include "platform/Error.h"
#include "platform/XmlDocument.h"

#include <QByteArrayView>
#include <QStringList>
#include <memory>

namespace platform {

/// Parses a document from pieces as they arrive (libxml2's push parser), with the options and
/// safeguards of XmlDocument::parse: a feed is parsed while its body is still on the way, and
/// neither the body nor a copy of it is held whole. One thread at a time, in order.
class XmlPushParser {
  public:
    explicit XmlPushParser(XmlDocument::ElementEnded ended = nullptr);
    ~XmlPushParser();
    XmlPushParser(const XmlPushParser&) = delete;
    XmlPushParser& operator=(const XmlPushParser&) = delete;

    /// The next bytes of the document. Once it is known not to be well-formed, the rest is
    /// skipped; finish() tells why.
    void push(QByteArrayView piece);
    /// Ends the document: the tree, or null with `error` as XmlDocument::parse fills it.
    std::unique_ptr<XmlDocument> finish(Error* error);

  private:
    void parse(const char* data, int size, bool last);

    // A small document, kept whole: when it does not parse, it is parsed again as a whole body,
    // for that parse's own words on it.
    static constexpr qsizetype KeptBytes = 64 * 1024;
    QByteArray m_kept;
    qsizetype m_pushed = 0;

    xmlParserCtxtPtr m_context = nullptr;
    XmlDocument::ElementEnded m_ended;
    QStringList m_errors;
    int m_firstErrorCode = 0;
    bool m_failed = false;
};

} // namespace platform
