#include "platform/XPathEvaluator.h"

#include "platform/XPathCache.h"
#include "platform/XPathNameRewriter.h"
#include "platform/XmlChildIndex.h"
#include "platform/XmlDocument.h"
#include "platform/XmlErrorCapture.h"
#include "platform/XmlNamespaceScan.h"

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

bool selectsNothing(xmlXPathObjectPtr result) {
    return result->type == XPATH_NODESET && (!result->nodesetval || result->nodesetval->nodeNr <= 0);
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

void XPathEvaluator::useDocumentNamespaces() {
    m_useDocumentNamespaces = true;
}

bool XPathEvaluator::bindDocumentNamespaces() {
    if (m_documentNamespacesBound || !m_context)
        return m_documentDeclaresNamespaces;
    m_documentNamespacesBound = true;
    const XmlNamespaceScan scan(m_document.rootElement());
    for (const auto& [prefix, uri] : scan.prefixes())
        xmlXPathRegisterNs(m_context, reinterpret_cast<const xmlChar*>(prefix.constData()),
                           reinterpret_cast<const xmlChar*>(uri.constData()));
    int suffix = 0;
    for (const QByteArray& uri : scan.defaultUris()) {
        QByteArray prefix;
        do
            prefix = "graflink-default-" + QByteArray::number(++suffix);
        while (scan.declaresPrefix(prefix));
        if (xmlXPathRegisterNs(m_context, reinterpret_cast<const xmlChar*>(prefix.constData()),
                               reinterpret_cast<const xmlChar*>(uri.constData())) == 0)
            m_defaultPrefixes.append(QString::fromUtf8(prefix));
    }
    m_documentDeclaresNamespaces = !scan.prefixes().empty() || !m_defaultPrefixes.isEmpty();
    return m_documentDeclaresNamespaces;
}

QString XPathEvaluator::widenedExpression(const QString& expression) {
    if (m_defaultPrefixes.isEmpty())
        return QString();
    const auto found = m_widenedExpressions.constFind(expression);
    if (found != m_widenedExpressions.constEnd())
        return *found;
    if (std::size_t(m_widenedExpressions.size()) >= XPathCache::MaximumSize)
        m_widenedExpressions.clear();
    const QString widened = XPathNameRewriter::rewrite(expression, m_defaultPrefixes);
    m_widenedExpressions.insert(expression, widened);
    return widened;
}

XPathEvaluator::Object XPathEvaluator::run(const QString& expression, xmlNodePtr context) {
    Object result = runCompiled(expression, context);
    if (!m_useDocumentNamespaces || (result && !selectsNothing(result.get())))
        return result;
    Object retried = retryWithDocumentNamespaces(expression, context, !result);
    return retried ? std::move(retried) : std::move(result);
}

XPathEvaluator::Object XPathEvaluator::retryWithDocumentNamespaces(const QString& expression,
                                                                   xmlNodePtr context, bool failed) {
    if (!bindDocumentNamespaces())
        return nullptr;
    Object result;
    if (failed) {
        // It may have failed only for want of a prefix the document declares.
        result = runCompiled(expression, context);
        if (result && !selectsNothing(result.get()))
            return result;
    }
    const QString widened = widenedExpression(expression);
    if (widened.isNull())
        return result;
    Object widenedResult = runCompiled(widened, context);
    return widenedResult ? std::move(widenedResult) : std::move(result);
}

XPathEvaluator::Object XPathEvaluator::runCompiled(const QString& expression, xmlNodePtr context) {
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
        xmlNodePtr found = simple->firstMatch(context ? context : m_document.documentNode(), *m_childIndex);
        // A simple path has no prefixes: only a default namespace can make it select more.
        if (found || !m_useDocumentNamespaces || !bindDocumentNamespaces() || m_defaultPrefixes.isEmpty())
            return found;
        const QString widened = widenedExpression(expression);
        const Object result = widened.isNull() ? nullptr : runCompiled(widened, context);
        if (!result || selectsNothing(result.get()) || result->type != XPATH_NODESET)
            return nullptr;
        return result->nodesetval->nodeTab[0];
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
