#pragma once

#include "platform/Json.h"
#include "platform/MonotonicClock.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

class CGProjectItem;
class GraflinkDocument;

/// One binding of a feed element to a field (item) of a CG project, with the value found at the
/// last refresh. Lives on the main thread; the owning document's variables lock guards passes over
/// the list.
class GraflinkVariable : public QObject {
    Q_OBJECT
    Q_PROPERTY(int valueType READ valueType WRITE setValueType NOTIFY valueTypeChanged)
    Q_PROPERTY(bool requiresFormat READ requiresFormat NOTIFY requiresFormatChanged)
    Q_PROPERTY(QString description READ description NOTIFY descriptionChanged)
  public:
    enum ValueType : qint32 { PlainText = 0, PlainTextAlternative = 1, Number = 2, HTML = 3 };
    /// What goes to the field when the path finds nothing or the feed fails.
    enum FallbackMode : qint32 {
        KeepOnAir = 0,        ///< nothing is sent: the field keeps what it shows
        SendEmpty = 1,        ///< the empty text
        SendFallbackText = 2, ///< `fallbackText`
    };

    // Keys of the dictionary form.
    static inline const QString XPathKey = QStringLiteral("XPath");
    static inline const QString CGProjectNameKey = QStringLiteral("CGProjectName");
    static inline const QString CGProjectFieldNameKey = QStringLiteral("CGProjectFieldName");
    static inline const QString FormatKey = QStringLiteral("format");
    static inline const QString ValueTypeKey = QStringLiteral("valueType");
    static inline const QString AppleScriptActionNameKey = QStringLiteral("appleScriptActionName");
    static inline const QString FallbackModeKey = QStringLiteral("fallbackMode");
    static inline const QString FallbackTextKey = QStringLiteral("fallbackText");

    static inline const QString DefaultXPath = QStringLiteral("current_observation/temp_f");
    /// "Temp #° F": nine characters, the degree sign being U+00B0.
    static inline const QString DefaultFormat = QStringLiteral("Temp #\u00B0 F");

    explicit GraflinkVariable(QObject* parent = nullptr);
    /// The defaults, then each key present applied in the order XPath, CGProjectName,
    /// CGProjectFieldName, format, valueType, appleScriptActionName, fallbackMode, fallbackText.
    /// Keys it does not know are kept and written back by dictionaryRepresentation().
    explicit GraflinkVariable(const QVariantMap& dictionary, QObject* parent = nullptr);
    ~GraflinkVariable() override;

    QVariantMap dictionaryRepresentation() const;

    const std::optional<QString>& XPath() const { return m_XPath; }
    void setXPath(const std::optional<QString>& path);
    /// Validation of an edited path: an emptied (nil) path keeps the current one.
    void validateXPath(std::optional<QString>& proposed) const;

    const std::optional<QString>& CGProjectName() const { return m_CGProjectName; }
    /// Stores the name (when different) and, in every case, refreshes the list of the project's
    /// items through the document.
    void setCGProjectName(const std::optional<QString>& name);

    const std::optional<QString>& CGProjectItemName() const { return m_CGProjectItemName; }
    void setCGProjectItemName(const std::optional<QString>& name);

    const std::optional<QString>& format() const { return m_format; }
    void setFormat(const std::optional<QString>& format);

    qint32 valueType() const { return m_valueType; }
    void setValueType(qint32 valueType);
    bool requiresFormat() const { return m_valueType == Number; }

    /// No value (nullopt), the null marker, or a string, number, boolean, object or array.
    const std::optional<platform::JsonValue>& currentStringValue() const;
    void setCurrentStringValue(const std::optional<platform::JsonValue>& value);

    /// When the value last changed (UTC, for display); invalid while it never had one.
    const QDateTime& valueChangedAt() const { return m_valueChangedAt; }
    /// Whole seconds since the value last changed, on the monotonic clock; none while there is
    /// no value.
    std::optional<qint64>
    valueAgeSeconds(platform::MonotonicClock::TimePoint now = platform::MonotonicClock::now()) const;
    /// When the value last changed, on the monotonic clock; none while there is no value.
    std::optional<platform::MonotonicClock::TimePoint> valueChangedTick() const;

    const std::optional<QString>& appleScriptActionName() const { return m_appleScriptActionName; }
    void setAppleScriptActionName(const std::optional<QString>& name);

    qint32 fallbackMode() const { return m_fallbackMode; }
    /// Unknown modes read as KeepOnAir.
    void setFallbackMode(qint32 mode);
    const QString& fallbackText() const { return m_fallbackText; }
    void setFallbackText(const QString& text);
    /// What a publishing pass sends: the current value, or without one the fallback (none when
    /// the field is to keep what it shows).
    std::optional<platform::JsonValue> publishedValue() const;

    GraflinkDocument* document() const { return m_document; }
    /// Not owned: the document owns its variables.
    void setDocument(GraflinkDocument* document) { m_document = document; }

    /// The content of the field chooser: the items of the named project.
    const QList<std::shared_ptr<CGProjectItem>>& projectItems() const { return m_projectItems; }

    /// "%@ / %@" of the project and item names.
    QString description() const;

  Q_SIGNALS:
    void XPathChanged();
    void CGProjectNameChanged();
    void CGProjectItemNameChanged();
    void formatChanged();
    void valueTypeChanged();
    void requiresFormatChanged();
    void currentStringValueChanged();
    void appleScriptActionNameChanged();
    void fallbackChanged();
    void projectItemsChanged();
    void descriptionChanged();

  private:
    std::optional<QString> m_XPath = DefaultXPath;
    std::optional<QString> m_CGProjectName;
    std::optional<QString> m_CGProjectItemName;
    std::optional<QString> m_format = DefaultFormat;
    qint32 m_valueType = Number;
    // Behind a pointer so this header needs only the JSON forward declarations.
    std::unique_ptr<std::optional<platform::JsonValue>> m_currentStringValue;
    std::optional<QString> m_appleScriptActionName;
    qint32 m_fallbackMode = KeepOnAir;
    QString m_fallbackText;
    QDateTime m_valueChangedAt;
    platform::MonotonicClock::TimePoint m_valueChangedTick;
    QVariantMap m_otherKeys; // keys of a newer version, kept as they were read
    GraflinkDocument* m_document = nullptr;
    QList<std::shared_ptr<CGProjectItem>> m_projectItems;
};
