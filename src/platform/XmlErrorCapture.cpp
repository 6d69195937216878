#include "platform/XmlErrorCapture.h"

#include "platform/XmlNodeSlabs.h"

#include <cstdarg>
#include <cstdio>
#include <libxml/globals.h>
#include <libxml/parser.h>

namespace platform {

void XmlErrorCapture::initializeLibrary() {
    // xmlInitParser is not itself guarded against concurrent first calls.
    static const bool initialized = [] {
        XmlNodeSlabs::install();
        xmlInitParser();
        return true;
    }();
    (void)initialized;
}

XmlErrorCapture::XmlErrorCapture() {
    initializeLibrary();
    // These names are per-thread accessors in a threaded libxml2.
    m_previousStructured = xmlStructuredError;
    m_previousStructuredContext = xmlStructuredErrorContext;
    m_previousGeneric = xmlGenericError;
    m_previousGenericContext = xmlGenericErrorContext;
    xmlSetStructuredErrorFunc(this, &XmlErrorCapture::structuredHandler);
    xmlSetGenericErrorFunc(this, &XmlErrorCapture::genericHandler);
}

Error XmlErrorCapture::notWellFormed(const QStringList& messages, int firstErrorCode) {
    const QString description =
        messages.isEmpty() ? QStringLiteral("The XML document is not well-formed.") : messages.first();
    QVariantMap info{{Error::LocalizedDescriptionKey, description}};
    if (messages.size() > 1)
        info.insert(Error::LocalizedFailureReasonKey, messages.join(QLatin1Char('\n')));
    return Error(Error::XmlDomain, firstErrorCode ? firstErrorCode : XML_ERR_DOCUMENT_END, info);
}

XmlErrorCapture::~XmlErrorCapture() {
    xmlSetStructuredErrorFunc(m_previousStructuredContext, m_previousStructured);
    xmlSetGenericErrorFunc(m_previousGenericContext, m_previousGeneric);
}

void XmlErrorCapture::structuredHandler(void* context, xmlErrorPtr error) {
    auto* self = static_cast<XmlErrorCapture*>(context);
    if (!self || !error || error->level < XML_ERR_ERROR)
        return;
    QString text = QString::fromUtf8(error->message ? error->message : "unknown error").trimmed();
    if (error->line > 0)
        text = QStringLiteral("line %1: %2").arg(error->line).arg(text);
    if (self->m_errors.isEmpty())
        self->m_firstErrorCode = error->code;
    self->m_errors.append(text);
}

void XmlErrorCapture::genericHandler(void* context, const char* message, ...) {
    auto* self = static_cast<XmlErrorCapture*>(context);
    if (!self || !message)
        return;
    char buffer[512];
    va_list arguments;
    va_start(arguments, message);
    std::vsnprintf(buffer, sizeof buffer, message, arguments);
    va_end(arguments);
    // Generic messages can arrive in pieces; only whole, non-empty texts are worth keeping.
    const QString text = QString::fromUtf8(buffer).trimmed();
    if (!text.isEmpty())
        self->m_errors.append(text);
}

} // namespace platform
