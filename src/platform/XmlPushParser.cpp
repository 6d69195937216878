#include "platform/XmlPushParser.h"

#include "platform/XmlErrorCapture.h"
#include "platform/XmlNodeSlabs.h"

#include <algorithm>
#include <climits>
#include <libxml/parser.h>

namespace platform {

XmlPushParser::XmlPushParser(XmlDocument::ElementEnded ended) : m_ended(ended) {
    XmlErrorCapture capture;
    m_context = xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr);
    if (!m_context) {
        m_failed = true;
        m_firstErrorCode = XML_ERR_NO_MEMORY;
        m_errors << QStringLiteral("The XML parser could not be created.");
        return;
    }
    xmlCtxtUseOptions(m_context, XmlDocument::parseOptions(XmlDocument::BlankNodes::Keep));
    XmlDocument::reportElementEnds(m_context, ended);
}

XmlPushParser::~XmlPushParser() {
    if (!m_context)
        return;
    xmlFreeDoc(m_context->myDoc);
    xmlFreeParserCtxt(m_context);
}

void XmlPushParser::parse(const char* data, int size, bool last) {
    XmlErrorCapture capture;
    xmlParseChunk(m_context, data, size, last ? 1 : 0);
    if (m_errors.isEmpty())
        m_firstErrorCode = capture.firstErrorCode();
    m_errors << capture.errors();
    m_failed = !m_context->wellFormed;
}

void XmlPushParser::push(QByteArrayView piece) {
    m_pushed += piece.size();
    if (m_pushed <= KeptBytes)
        m_kept.append(piece);
    else
        m_kept = QByteArray();
    if (m_failed)
        return;
    // libxml2 takes an int at a time.
    constexpr qsizetype Step = INT_MAX / 2;
    for (qsizetype at = 0; at < piece.size() && !m_failed; at += Step)
        parse(piece.data() + at, int(std::min(Step, piece.size() - at)), false);
}

std::unique_ptr<XmlDocument> XmlPushParser::finish(Error* error) {
    if (!m_failed) {
        parse(nullptr, 0, true);
        XmlNodeSlabs::trimAhead();
        // A body that stops inside an element: the push parser only says the document did not
        // end ("Extra content at the end of the document"); the whole-body parse names the tag.
        if (m_failed && m_firstErrorCode == XML_ERR_DOCUMENT_END && !m_errors.isEmpty() &&
            m_context->nameNr > 0 && m_context->name && m_context->node) {
            m_firstErrorCode = XML_ERR_TAG_NOT_FINISHED;
            m_errors.first() = QStringLiteral("line %1: Premature end of data in tag %2 line %3")
                                   .arg(m_context->input ? m_context->input->line : 0)
                                   .arg(QString::fromUtf8(reinterpret_cast<const char*>(m_context->name)))
                                   .arg(m_context->node->line);
        }
    }
    if (m_failed && m_pushed <= KeptBytes)
        return m_ended ? XmlDocument::parse(std::move(m_kept), error, m_ended)
                       : XmlDocument::parse(std::move(m_kept), error);
    if (m_failed) {
        setError(error, XmlErrorCapture::notWellFormed(m_errors, m_firstErrorCode));
        return nullptr;
    }
    xmlDocPtr document = m_context->myDoc;
    m_context->myDoc = nullptr;
    if (!document) {
        setError(error, XmlErrorCapture::notWellFormed(m_errors, m_firstErrorCode));
        return nullptr;
    }
    return std::make_unique<XmlDocument>(document);
}

} // namespace platform
