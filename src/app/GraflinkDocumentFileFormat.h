#pragma once

#include <QByteArray>
#include <QVariantMap>
#include <optional>

class GraflinkDocument;
namespace platform {
class Error;
}

/// The Graflink document file: the top-level dictionary of its property list, read into a
/// document's properties and written from them.
class GraflinkDocumentFileFormat {
  public:
    /// The top-level dictionary of the property list in the file at `path`; nothing, with `error`
    /// filled, when the file does not read or is not a dictionary.
    static std::optional<QVariantMap> read(const QString& path, platform::Error* error);
    /// The XML property list of `dictionary`; nothing, with `error` filled, when it cannot be made.
    static std::optional<QByteArray> write(const QVariantMap& dictionary, platform::Error* error);
    /// Applies every key present through the document's setters, in the order they expect (the
    /// setters of the first keys start timers and refreshes). Returns the keys it does not know,
    /// which the document keeps and writes back.
    static QVariantMap apply(GraflinkDocument& document, const QVariantMap& dictionary);
    /// The dictionary of the document's properties, over the unknown keys it keeps.
    static QVariantMap dictionary(const GraflinkDocument& document, const QVariantMap& otherKeys);
};
