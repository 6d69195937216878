#pragma once

#include <QString>
#include <QVariantMap>

namespace platform {

/// The main bundle's information dictionary, generated at build time ("CFBundleName",
/// "CFBundleIdentifier", "CFBundleShortVersionString", "CFBundleVersion", crash-reporter key,
/// download URL). Immutable; safe from any thread.
class BundleInfo {
  public:
    static const QVariantMap& infoDictionary();
    /// A string value of the dictionary, or an empty string.
    static QString string(const QString& key) { return infoDictionary().value(key).toString(); }
    static QString bundleName() { return string(QStringLiteral("CFBundleName")); }
    static QString bundleIdentifier() { return string(QStringLiteral("CFBundleIdentifier")); }
    static QString shortVersionString() { return string(QStringLiteral("CFBundleShortVersionString")); }
    static QString bundleVersion() { return string(QStringLiteral("CFBundleVersion")); }
};

} // namespace platform
