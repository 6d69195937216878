#pragma once

#include "platform/Error.h"

#include <QString>
#include <QStringList>
#include <libxml/xmlerror.h>

namespace platform {

/// Collects libxml2's diagnostics on the calling thread for the lifetime of the object, so that
/// nothing reaches stderr. libxml2 keeps its error handlers per thread; the previous handlers are
/// restored on destruction. Create it on the stack around libxml2 calls; not copyable.
class XmlErrorCapture {
  public:
    XmlErrorCapture();
    ~XmlErrorCapture();
    XmlErrorCapture(const XmlErrorCapture&) = delete;
    XmlErrorCapture& operator=(const XmlErrorCapture&) = delete;

    /// Makes sure libxml2 is initialised; safe to call from any thread, any number of times.
    static void initializeLibrary();

    /// Messages of level error or fatal, oldest first, each as "line N: text" when a line is known.
    const QStringList& errors() const { return m_errors; }
    /// libxml2's code of the first error, or 0.
    int firstErrorCode() const { return m_firstErrorCode; }

    /// The error of a document that did not parse, from the messages collected on the way
    /// (domain Error::XmlDomain, the first message as its description, all of them as the reason).
    static Error notWellFormed(const QStringList& messages, int firstErrorCode);

  private:
    static void structuredHandler(void* context, xmlErrorPtr error);
    static void genericHandler(void* context, const char* message, ...);

    QStringList m_errors;
    int m_firstErrorCode = 0;
    xmlStructuredErrorFunc m_previousStructured = nullptr;
    void* m_previousStructuredContext = nullptr;
    xmlGenericErrorFunc m_previousGeneric = nullptr;
    void* m_previousGenericContext = nullptr;
};

} // namespace platform
