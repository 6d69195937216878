#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QPointer>
#include <QString>
#include <QVariant>

class NVSCGDataSource;

/// Converts a column format to the items of a token field and back: text → literal strings and
/// token dictionaries (titles looked up in the data source), items → text.
class NVSCGDATASOURCE_EXPORT TokenValueTransformer {
  public:
    /// The name the editor registers the transformer under.
    static QString transformerName() { return QStringLiteral("TokenValueTransformer"); }
    static bool allowsReverseTransformation() { return true; }

    NVSCGDataSource* dataSource() const { return m_dataSource; }
    /// Not owned; forgotten when the data source is destroyed.
    void setDataSource(NVSCGDataSource* dataSource) { m_dataSource = dataSource; }

    /// A string → its token list (QVariantList); anything else, or no data source → invalid.
    QVariant transformedValue(const QVariant& value) const;
    /// A list → its strings, and the "tokenCode" of its dictionaries, joined; else "".
    QString reverseTransformedValue(const QVariant& value) const;

  private:
    QPointer<NVSCGDataSource> m_dataSource;
};
