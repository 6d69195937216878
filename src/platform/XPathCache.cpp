#include "platform/XPathCache.h"

#include "platform/XmlErrorCapture.h"

namespace platform {

XPathCache::XPathCache() = default;
XPathCache::~XPathCache() = default;

void XPathCache::Deleter::operator()(xmlXPathCompExprPtr expression) const {
    xmlXPathFreeCompExpr(expression);
}

xmlXPathCompExprPtr XPathCache::compiled(const QString& expression) {
    const auto found = m_expressions.find(expression);
    if (found != m_expressions.end())
        return found->second.get();
    if (m_expressions.size() >= MaximumSize)
        m_expressions.clear();
    xmlXPathCompExprPtr compiledExpression = nullptr;
    {
        XmlErrorCapture capture;
        const QByteArray utf8 = expression.toUtf8();
        // Without a context libxml2 interns no names in a document's dictionary, which keeps
        // the result usable with any document.
        compiledExpression = xmlXPathCompile(reinterpret_cast<const xmlChar*>(utf8.constData()));
    }
    m_expressions.emplace(expression, std::unique_ptr<xmlXPathCompExpr, Deleter>(compiledExpression));
    return compiledExpression;
}

const SimpleLocationPath* XPathCache::simplePath(const QString& expression) {
    auto found = m_simplePaths.find(expression);
    if (found == m_simplePaths.end()) {
        if (m_simplePaths.size() >= MaximumSize)
            m_simplePaths.clear();
        found = m_simplePaths.emplace(expression, SimpleLocationPath::parse(expression)).first;
    }
    return found->second ? &*found->second : nullptr;
}

void XPathCache::clear() {
    m_expressions.clear();
    m_simplePaths.clear();
}

} // namespace platform
