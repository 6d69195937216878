#include "platform/XmlDocument.h"

#include "platform/AtomicFile.h"
#include "platform/XmlErrorCapture.h"
#include "platform/XmlMemoryReader.h"
#include "platform/XmlNodeSlabs.h"

#include <climits>
#include <cstring>
#include <libxml/SAX2.h>
#include <libxml/parser.h>

namespace platform {

namespace {

struct ParserContextDeleter {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

const xmlChar* xmlText(const QByteArray& utf8) {
    return reinterpret_cast<const xmlChar*>(utf8.constData());
}

QString fromXmlText(const xmlChar* text) {
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// libxml2 writes whatever bytes it is given; a control character would make the file unreadable.
QByteArray toXmlUtf8(const QString& text) {
    QString clean;
    const auto begin = text.cbegin();
    for (auto it = begin; it != text.cend(); ++it) {
        char32_t c = it->unicode();
        const bool pair = it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(*it, *(it + 1));
        const bool valid = pair || (!it->isSurrogate() && isXmlChar(c));
        if (!valid && clean.isNull()) {
            clean.reserve(text.size());
            clean.append(QStringView(text).first(it - begin));
        }
        if (!clean.isNull()) {
            if (pair)
                clean.append(QStringView(it, 2));
            else
                clean.append(valid ? *it : QChar(QChar::ReplacementCharacter));
        }
        if (pair)
            ++it;
    }
    return clean.isNull() ? text.toUtf8() : clean.toUtf8();
}

bool isValidName(const char* name) {
    return *name && xmlValidateName(reinterpret_cast<const xmlChar*>(name), 0) == 0;
}

} // namespace

XmlDocument::XmlDocument(xmlDocPtr document) : m_document(document) {}

XmlDocument::~XmlDocument() {
    xmlFreeDoc(m_document);
}

namespace {

// The hook rides in the parser's user field, which libxml2 leaves alone.
void endElementAndReport(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    if (parser->node)
        reinterpret_cast<XmlDocument::ElementEnded>(parser->_private)(parser->node);
    xmlSAX2EndElementNs(context, localName, prefix, uri);
}

} // namespace

int XmlDocument::parseOptions(BlankNodes blankNodes) {
    // No XML_PARSE_NOENT or XML_PARSE_DTDLOAD: with either, libxml2 would fetch external
    // entities. No XML_PARSE_HUGE: its default limits guard against oversized nodes.
    // XML_PARSE_COMPACT keeps text shorter than two pointers inside its node: one allocation
    // less for most values of a feed. libxml2's own functions that change text handle such nodes.
    const int options = XML_PARSE_NONET | XML_PARSE_COMPACT;
    return blankNodes == BlankNodes::Remove ? options | XML_PARSE_NOBLANKS : options;
}

void XmlDocument::reportElementEnds(xmlParserCtxtPtr context, ElementEnded ended) {
    if (!ended)
        return;
    context->_private = reinterpret_cast<void*>(ended);
    context->sax->endElementNs = &endElementAndReport;
}

static std::unique_ptr<XmlDocument> parseInput(XmlMemoryReader& reader, Error* error,
                                               XmlDocument::BlankNodes blankNodes,
                                               XmlDocument::ElementEnded ended = nullptr) {
    if (reader.left > INT_MAX) {
        setError(error, Error::make(Error::XmlDomain, XML_ERR_NO_MEMORY,
                                    QStringLiteral("The XML document is too large to parse.")));
        return nullptr;
    }
    XmlErrorCapture capture;
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(xmlNewParserCtxt());
    if (!context) {
        setError(error, Error::make(Error::XmlDomain, XML_ERR_NO_MEMORY,
                                    QStringLiteral("The XML parser could not be created.")));
        return nullptr;
    }
    XmlDocument::reportElementEnds(context.get(), ended);
    // Read through a callback rather than from memory: libxml2 copies a memory input whole
    // before parsing (as much again as the feed), where it reads a callback's input a few
    // kilobytes at a time and drops what it has parsed.
    xmlDocPtr document = xmlCtxtReadIO(context.get(), &XmlMemoryReader::read, nullptr, &reader, nullptr,
                                       nullptr, XmlDocument::parseOptions(blankNodes));
    XmlNodeSlabs::trimAhead();
    if (!document) {
        setError(error, XmlErrorCapture::notWellFormed(capture.errors(), capture.firstErrorCode()));
        return nullptr;
    }
    return std::make_unique<XmlDocument>(document);
}

std::unique_ptr<XmlDocument> XmlDocument::parse(const QByteArray& bytes, Error* error,
                                                BlankNodes blankNodes) {
    XmlMemoryReader reader{bytes.constData(), bytes.size()};
    return parseInput(reader, error, blankNodes);
}

static std::unique_ptr<XmlDocument> parseConsuming(QByteArray& bytes, Error* error,
                                                   XmlDocument::BlankNodes blankNodes,
                                                   XmlDocument::ElementEnded ended) {
    QByteArray input = std::move(bytes);
    bytes = QByteArray();
    XmlMemoryReader reader{input.constData(), input.size()};
    // Only memory no one else shares, and only when it is worth a system call.
    if (input.isDetached() && input.size() > 2 * XmlMemoryReader::ReleaseStep)
        reader.releaseFrom = input.data();
    return parseInput(reader, error, blankNodes, ended);
}

std::unique_ptr<XmlDocument> XmlDocument::parse(QByteArray&& bytes, Error* error, BlankNodes blankNodes) {
    return parseConsuming(bytes, error, blankNodes, nullptr);
}

std::unique_ptr<XmlDocument> XmlDocument::parse(QByteArray&& bytes, Error* error, ElementEnded ended) {
    return parseConsuming(bytes, error, BlankNodes::Keep, ended);
}

std::unique_ptr<XmlDocument> XmlDocument::create(const QString& rootElementName) {
    XmlErrorCapture::initializeLibrary();
    const QByteArray name = rootElementName.toUtf8();
    if (!isValidName(name.constData()))
        return nullptr;
    xmlDocPtr document = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!document)
        return nullptr;
    auto result = std::make_unique<XmlDocument>(document);
    xmlNodePtr root = xmlNewDocNode(document, nullptr, xmlText(name), nullptr);
    if (!root)
        return nullptr;
    xmlDocSetRootElement(document, root);
    return result;
}

xmlNodePtr XmlDocument::rootElement() const {
    return xmlDocGetRootElement(m_document);
}

QByteArray XmlDocument::toPrettyBytes() const {
    XmlErrorCapture capture;
    xmlChar* buffer = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_document, &buffer, &size, "UTF-8", 1);
    QByteArray result(reinterpret_cast<const char*>(buffer), buffer ? size : 0);
    xmlFree(buffer);
    return result;
}

bool XmlDocument::writePretty(const QString& path, Error* error) const {
    return AtomicFile::write(path, toPrettyBytes(), error);
}

xmlNodePtr XmlDocument::addElement(xmlNodePtr parent, const QString& name, const QString& text) {
    return addElement(parent, name.toUtf8().constData(), text);
}

xmlNodePtr XmlDocument::addElement(xmlNodePtr parent, const char* name, const QString& text) {
    return addElement(parent, name, content(text));
}

QByteArray XmlDocument::content(const QString& text) {
    if (text.isNull())
        return QByteArray();
    QByteArray bytes = toXmlUtf8(text);
    return bytes.isNull() ? QByteArray("") : bytes;
}

xmlNodePtr XmlDocument::addElement(xmlNodePtr parent, const char* name, const QByteArray& content) {
    if (!parent || !isValidName(name))
        return nullptr;
    return xmlNewTextChild(parent, nullptr, reinterpret_cast<const xmlChar*>(name),
                           content.isNull() ? nullptr : xmlText(content));
}

bool XmlDocument::setAttribute(xmlNodePtr element, const QString& name, const QString& value) {
    return setAttribute(element, name.toUtf8().constData(), value);
}

bool XmlDocument::setAttribute(xmlNodePtr element, const char* name, const QString& value) {
    return setAttribute(element, name, toXmlUtf8(value));
}

bool XmlDocument::setAttribute(xmlNodePtr element, const char* name, const QByteArray& content) {
    if (!element || element->type != XML_ELEMENT_NODE || !isValidName(name))
        return false;
    return xmlSetProp(element, reinterpret_cast<const xmlChar*>(name), xmlText(content)) != nullptr;
}

std::optional<QString> XmlDocument::attribute(xmlNodePtr element, const QString& name) {
    if (!element || element->type != XML_ELEMENT_NODE)
        return std::nullopt;
    const QByteArray utf8Name = name.toUtf8();
    xmlChar* value = xmlGetNoNsProp(element, xmlText(utf8Name));
    if (!value)
        return std::nullopt;
    QString result = fromXmlText(value);
    xmlFree(value);
    return result;
}

} // namespace platform
