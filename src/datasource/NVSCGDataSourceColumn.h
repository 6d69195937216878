#pragma once

#include "datasource/NVSCGDataSourceExport.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <libxml/tree.h>
#include <memory>

/// One column of a data source: a title, the wildcard XPath it reads (`identifier`), a format
/// of literal text and tokens, a type, and a permanent `uniqueID` that tokens refer to.
///
/// The string fields are atomic (any thread); change signals are emitted on the setting thread.
class NVSCGDATASOURCE_EXPORT NVSCGDataSourceColumn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier NOTIFY identifierChanged)
    Q_PROPERTY(QString uniqueID READ uniqueID WRITE setUniqueID NOTIFY uniqueIDChanged)
    Q_PROPERTY(QString format READ format WRITE setFormat NOTIFY formatChanged)
    Q_PROPERTY(uint type READ type WRITE setType NOTIFY typeChanged)
  public:
    enum Type : uint { Text = 0, Image = 1, Color = 2 };

    /// A fresh `uniqueID`, empty format, type 0, no title and no identifier (null strings).
    NVSCGDataSourceColumn();
    NVSCGDataSourceColumn(const QString& title, const QString& identifier);
    /// Keys of the dictionary form that are present with the right kind set their field.
    explicit NVSCGDataSourceColumn(const QVariantMap& dictionary);
    /// The "column" element of the file; children that are present set their field.
    explicit NVSCGDataSourceColumn(xmlNodePtr element);

    QString title() const;
    QString identifier() const;
    QString uniqueID() const;
    QString format() const;
    uint type() const;
    void setTitle(const QString& title);
    void setIdentifier(const QString& identifier);
    void setUniqueID(const QString& uniqueID);
    void setFormat(const QString& format);
    void setType(uint type);

    void generateNewUUID();
    QVariantMap dictionaryRepresentation() const;
    /// Appends the "column" element with its five children to `parent`; returns it.
    xmlNodePtr XMLElement(xmlNodePtr parent) const;

    static QString stringFromColumnType(uint type);
    /// 0, 1 or 2 for "text", "image", "color"; anything else is logged and gives 0.
    static uint columnTypeFromString(const QString& text);

  Q_SIGNALS:
    void titleChanged();
    void identifierChanged();
    void uniqueIDChanged();
    void formatChanged();
    void typeChanged();

  private:
    bool assign(QString NVSCGDataSourceColumn::*field, const QString& value);

    mutable QMutex m_mutex;
    QString m_title;
    QString m_identifier;
    QString m_uniqueID;
    QString m_format;
    uint m_type = Text;
};

using NVSCGDataSourceColumnPtr = std::shared_ptr<NVSCGDataSourceColumn>;
