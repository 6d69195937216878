#include "platform/XPathEvaluator.h"

#include "platform/XPathCache.h"
#include "platform/XmlChildIndex.h"
#include "platform/XmlDocument.h"
#include "platform/XmlErrorCapture.h"

#include <libxml/xpathInternals.h>

namespace platform {

namespace {

QString fromXmlText(const xmlChar* text) {
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QStringLiteral("");
}

QString takeXmlText(xmlChar* text) {
    QString result = fromXmlText(text);
    xmlFree(text);
    return result;
}

bool isPlainText(xmlNodePtr node) {
    return node && (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE);
}

} // namespace

XPathEvaluator::XPathEvaluator(const XmlDocument& document, XPathCache* cache)
    : m_document(document), m_ownCache(cache ? nullptr : std::make_unique<XPathCache>()),
      m_cache(cache ? cache : m_ownCache.get()), m_context(nullptr) {
    XmlErrorCapture::initializeLibrary();
    m_context = xmlXPathNewContext(document.document());
}

XPathEvaluator::~XPathEvaluator() {
    xmlXPathFreeContext(m_context);
}

bool XPathEvaluator::registerNamespace(const QString& prefix, const QString& namespaceUri) {
    if (!m_context || prefix.isEmpty())
        return false;
    const QByteArray utf8Prefix = prefix.toUtf8();
    const QByteArray utf8Uri = namespaceUri.toUtf8();
    return xmlXPathRegisterNs(m_context, reinterpret_cast<const xmlChar*>(utf8Prefix.constData()),
                              reinterpret_cast<const xmlChar*>(utf8Uri.constData())) == 0;
}

XPathEvaluator::Object XPathEvaluator::run(const QString& expression, xmlNodePtr context) {
    if (!m_context)
        return nullptr;
    if (context && context->doc != m_document.document())
        return nullptr;
    xmlXPathCompExprPtr compiled = m_cache->compiled(expression);
    if (!compiled)
        return nullptr;
    // A fresh libxml2 context has no context node: relative paths would select nothing.
    m_context->node = context ? context : m_document.documentNode();
    XmlErrorCapture capture;
    return Object(xmlXPathCompiledEval(compiled, m_context));
}

std::optional<std::vector<xmlNodePtr>> XPathEvaluator::nodes(const QString& expression, xmlNodePtr context) {
    const Object result = run(expression, context);
    if (!result || result->type != XPATH_NODESET)
        return std::nullopt;
    const xmlNodeSetPtr set = result->nodesetval;
    if (!set || set->nodeNr <= 0)
        return std::vector<xmlNodePtr>();
    return std::vector<xmlNodePtr>(set->nodeTab, set->nodeTab + set->nodeNr);
}

std::optional<QString> XPathEvaluator::firstNodeStringValue(const QString& expression, xmlNodePtr context) {
    xmlNodePtr node = firstNode(expression, context);
    if (!node)
        return std::nullopt;
    return stringValue(node);
}

xmlNodePtr XPathEvaluator::firstNode(const QString& expression, xmlNodePtr context) {
    if (context && context->doc != m_document.document())
        return nullptr;
    if (const SimpleLocationPath* simple = m_cache->simplePath(expression)) {
        if (!m_childIndex)
            m_childIndex = std::make_unique<XmlChildIndex>();
        return simple->firstMatch(context ? context : m_document.documentNode(), *m_childIndex);
    }
    const Object result = run(expression, context);
    if (!result || result->type != XPATH_NODESET || !result->nodesetval || result->nodesetval->nodeNr <= 0)
        return nullptr;
    return result->nodesetval->nodeTab[0];
}

std::optional<XPathValue> XPathEvaluator::evaluate(const QString& expression, xmlNodePtr context) {
    const Object result = run(expression, context);
    if (!result)
        return std::nullopt;
    switch (result->type) {
    case XPATH_NODESET: {
        const xmlNodeSetPtr set = result->nodesetval;
        if (!set || set->nodeNr <= 0)
            return XPathValue(std::vector<xmlNodePtr>());
        return XPathValue(std::vector<xmlNodePtr>(set->nodeTab, set->nodeTab + set->nodeNr));
    }
    case XPATH_BOOLEAN:
        return XPathValue(result->boolval != 0);
    case XPATH_NUMBER:
        return XPathValue(result->floatval);
    case XPATH_STRING:
        return XPathValue(fromXmlText(result->stringval));
    default:
        return std::nullopt;
    }
}

QString XPathEvaluator::toString(const XPathValue& value) {
    if (const auto* set = std::get_if<std::vector<xmlNodePtr>>(&value))
        return set->empty() ? QStringLiteral("") : stringValue(set->front());
    if (const auto* boolean = std::get_if<bool>(&value))
        return *boolean ? QStringLiteral("true") : QStringLiteral("false");
    if (const auto* number = std::get_if<double>(&value))
        return takeXmlText(xmlXPathCastNumberToString(*number));
    return std::get<QString>(value);
}

QString XPathEvaluator::stringValue(xmlNodePtr node) {
    if (!node)
        return QString();
    // The common feed shapes (a text node, an element or attribute holding one text node) are
    // read in place; everything else goes through libxml2's own string-value rule.
    if (isPlainText(node))
        return fromXmlText(node->content);
    if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) {
        xmlNodePtr child = node->children;
        if (!child)
            return QStringLiteral("");
        if (isPlainText(child) && !child->next)
            return fromXmlText(child->content);
    }
    return takeXmlText(xmlXPathCastNodeToString(node));
}

QString XPathEvaluator::locationPath(xmlNodePtr node) {
    if (!node)
        return QString();
    return takeXmlText(xmlGetNodePath(node));
}

} // namespace platform
