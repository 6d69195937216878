#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

namespace platform {
class XmlDocument;
}

/// Comma- and tab-separated feeds (a spreadsheet published as CSV, say) presented as XML, so that
/// every path, the inventory, data sources and playlist export read them as they read XML feeds:
///
///     <rows><row><Name>Smith</Name><Votes_Cast header="Votes Cast">1200</Votes_Cast></row>…</rows>
///
/// The first row holds the headers; every later row becomes a `row` element with one element per
/// field it has, named after its column's header (see elementName). Fields beyond the headers are
/// named `column` and their position. The text is decoded by its byte order mark, as UTF-8 when it
/// is valid UTF-8, and as Latin-1 otherwise.
class CsvFeed {
  public:
    /// More cells than this make the feed fail (an XML tree holds each cell as an element).
    static constexpr qsizetype MaximumCells = 2'000'000;

    /// The separator of a feed with this content type and address: ',' for text/csv or an
    /// address ending in ".csv", a tab for text/tab-separated-values or ".tsv"; nullopt for
    /// anything else. The content type decides; the address only when the type names neither
    /// XML nor JSON.
    static std::optional<char16_t> separatorFor(const QByteArray& contentType, const QUrl& address);
    /// The same for a file, by its extension.
    static std::optional<char16_t> separatorForFile(const QString& path);

    /// The feed as an XML document; null and `error` (with the reason) when it has no header row
    /// or too many cells.
    static std::unique_ptr<platform::XmlDocument> toXml(const QByteArray& bytes, char16_t separator,
                                                        platform::Error* error = nullptr);

    /// The element name for a header: trimmed; every character that may not stand in an XML name
    /// (anything but letters, digits, '_', '-' and '.') becomes '_'; '_' is put before a name that
    /// does not begin with a letter or '_' or that begins with "xml" in any case; an empty header
    /// is `column` and its position (from 1). Names that come out equal get "_2", "_3"… in order.
    /// When the name differs from a header that is not empty, each cell keeps the header in a
    /// `header` attribute.
    static QString elementName(const QString& header, qsizetype position);

    /// The text of the bytes by the rules above.
    static QString decode(const QByteArray& bytes);
};
