#pragma once

#include "feed/FeedAuthentication.h"
#include "platform/Error.h"

#include <libxml/tree.h>
#include <memory>

class NVSCGDataSource;
namespace platform {
class XmlDocument;
}

/// The "data_source" element of a data-source file: writing it from a data source's settings
/// and applying one to a data source, element by element, through the data source's setters.
class NVSCGDataSourceFileFormat {
  public:
    static std::unique_ptr<platform::XmlDocument> write(const NVSCGDataSource& dataSource);
    /// Fails, changing nothing, when the root is not "data_source" (-50 "Missing element %@");
    /// an unparsable "url" fails the whole (-50 "Failed to create URL from %@") after every
    /// other element has been applied.
    static bool apply(NVSCGDataSource& dataSource, xmlNodePtr element, platform::Error* error);
    /// The leading decimal number of a text, after white space; 0 when there is none.
    static double leadingNumber(const QString& text);
    /// "true", "yes" or "1" in any letter case.
    static bool isTrueText(const QString& text);

  private:
    /// Nothing when authentication is off, so such a file is written as before it existed.
    static void writeFeedAuthentication(const platform::FeedAuthentication& settings, xmlNodePtr root);
    /// Off when the element is missing or names a scheme this version does not know.
    static platform::FeedAuthentication readFeedAuthentication(xmlNodePtr root);
};
