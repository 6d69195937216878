#pragma once

#include <QVariantMap>

class GraflinkDocument;

/// The Graflink document file: the top-level dictionary of its property list, read into a
/// document's properties and written from them.
class GraflinkDocumentFileFormat {
  public:
    /// Applies every key present through the document's setters, in the order they expect (the
    /// setters of the first keys start timers and refreshes). Returns the keys it does not know,
    /// which the document keeps and writes back.
    static QVariantMap apply(GraflinkDocument& document, const QVariantMap& dictionary);
    /// The dictionary of the document's properties, over the unknown keys it keeps.
    static QVariantMap dictionary(const GraflinkDocument& document, const QVariantMap& otherKeys);
};
