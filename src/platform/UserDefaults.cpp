#include "platform/UserDefaults.h"

#include "platform/StandardPaths.h"
#include "platform/ValueReadings.h"

namespace platform {

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults* defaults = new UserDefaults(standardSettingsFilePath()); // lives for the run
    return *defaults;
}

QString UserDefaults::standardSettingsFilePath() {
    return StandardPaths::preferencesFolder() + QStringLiteral("/Norvane/Graflink.conf");
}

UserDefaults::UserDefaults(const QString& settingsFilePath, QObject* parent)
    : QObject(parent), m_settings(std::make_unique<QSettings>(settingsFilePath, QSettings::IniFormat)) {}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::settingsFilePath() const {
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}

QVariant UserDefaults::lookup(const QString& key) const {
    if (auto it = m_arguments.constFind(key); it != m_arguments.cend())
        return *it;
    QVariant stored = m_settings->value(key);
    if (stored.isValid())
        return stored;
    return m_registered.value(key);
}

template <typename Change> void UserDefaults::change(const QString& key, Change&& apply) {
    QVariant before, after;
    {
        std::lock_guard lock(m_mutex);
        before = lookup(key);
        apply();
        after = lookup(key);
    }
    // Emitted outside the lock: observers may read the defaults again.
    if (before != after || before.typeId() != after.typeId())
        Q_EMIT valueChanged(key, after);
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        change(it.key(), [&] { m_registered.insert(it.key(), it.value()); });
}

void UserDefaults::setArgumentValue(const QString& key, const QVariant& value) {
    change(key, [&] { m_arguments.insert(key, value); });
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    std::lock_guard lock(m_mutex);
    return lookup(key);
}

std::optional<QString> UserDefaults::stringForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    if (!value.isValid() || !value.canConvert<QString>() || value.typeId() == QMetaType::QStringList ||
        value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QVariantMap)
        return std::nullopt;
    return value.toString();
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    return ValueReadings::integerReading(objectForKey(key));
}

double UserDefaults::doubleForKey(const QString& key) const {
    return ValueReadings::doubleReading(objectForKey(key));
}

bool UserDefaults::boolForKey(const QString& key) const {
    return ValueReadings::boolReading(objectForKey(key));
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const {
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toStringList();
    return {};
}

void UserDefaults::setValue(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    change(key, [&] { m_settings->setValue(key, value); });
}

void UserDefaults::removeObject(const QString& key) {
    change(key, [&] { m_settings->remove(key); });
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QMetaObject::Connection UserDefaults::observe(const QString& key, const QObject* context,
                                              std::function<void(const QVariant&)> callback) {
    return connect(this, &UserDefaults::valueChanged, context,
                   [key, callback = std::move(callback)](const QString& changedKey, const QVariant& value) {
                       if (changedKey == key)
                           callback(value);
                   });
}

} // namespace platform
