#pragma once

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

/// User defaults with three domains, searched in this order: the argument domain (values given
/// for this run only, e.g. on the command line; never stored), the stored values (QSettings INI
/// file), and the registration domain (defaults registered at start, kept in memory).
///
/// Thread-safe. `valueChanged` is emitted on the thread that made the change, whenever the
/// effective value of a key changes through this object.
class UserDefaults : public QObject {
    Q_OBJECT
  public:
    /// The process-wide defaults, stored at `$XDG_CONFIG_HOME/Norvane/Graflink.conf` (the folder
    /// is read from the environment when first used).
    static UserDefaults& standardUserDefaults();
    /// The file the standard defaults use, from the current environment.
    static QString standardSettingsFilePath();

    explicit UserDefaults(const QString& settingsFilePath, QObject* parent = nullptr);
    ~UserDefaults() override;

    QString settingsFilePath() const;

    void registerDefaults(const QVariantMap& defaults);
    void setArgumentValue(const QString& key, const QVariant& value);

    /// The effective value; an invalid QVariant when no domain has one.
    QVariant objectForKey(const QString& key) const;
    bool contains(const QString& key) const { return objectForKey(key).isValid(); }
    std::optional<QString> stringForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    QStringList stringArrayForKey(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    void removeObject(const QString& key);
    /// Writes stored values to disk now; returns false when the file cannot be written.
    bool synchronize();

    /// Calls `callback(newValue)` on `context`'s thread after each change of `key`.
    QMetaObject::Connection observe(const QString& key, const QObject* context,
                                    std::function<void(const QVariant&)> callback);

  Q_SIGNALS:
    void valueChanged(const QString& key, const QVariant& newValue);

  private:
    QVariant lookup(const QString& key) const; // caller holds m_mutex
    template <typename Change> void change(const QString& key, Change&& apply);

    mutable std::recursive_mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
    QVariantMap m_arguments;
};

} // namespace platform
