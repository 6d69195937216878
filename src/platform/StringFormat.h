#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

namespace platform {

/// printf-style formatting with the object placeholder "%@", so message formats can be written
/// exactly as they appear in logs and files: "Failed to export dataSource (%@)",
/// "New Technical Log level %li", "%0.3f".
///
/// Supported: %@ (any value, as text), %d %i %u %ld %li %lu %lld %llu %zu (integers), %x %X,
/// %f %e %g with flags, width and precision ("%0.3f", "%.6f"), %s, %c, %%. A placeholder without
/// an argument yields nothing; extra arguments are ignored; an unknown conversion is copied.
class StringFormat {
  public:
    static QString format(const QString& formatString, const QVariantList& arguments);

    template <typename... Args> static QString format(const QString& formatString, const Args&... args) {
        return format(formatString, QVariantList{toVariant(args)...});
    }

  private:
    template <typename T> static QVariant toVariant(const T& value) { return QVariant::fromValue(value); }
    static QVariant toVariant(const char* value) { return QString::fromUtf8(value); }
    static QVariant toVariant(const QVariant& value) { return value; }
};

} // namespace platform
