#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <mutex>
#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

namespace platform {

/// Formats instants with an ICU date pattern ("y-MM-dd\tHH:mm:ss\tEEEE") in a locale and time
/// zone, by default the user's (from LANG/LC_* and TZ). Thread-safe: ICU date formats carry a
/// mutable calendar, so calls are serialised.
class DatePatternFormatter {
  public:
    explicit DatePatternFormatter(const QString& pattern, const QString& localeName = {},
                                  const QString& timeZoneId = {});
    ~DatePatternFormatter();
    DatePatternFormatter(const DatePatternFormatter&) = delete;
    DatePatternFormatter& operator=(const DatePatternFormatter&) = delete;

    bool isValid() const { return m_format != nullptr; }
    QString format(const QDateTime& instant) const { return format(instant.toMSecsSinceEpoch()); }
    QString format(qint64 millisecondsSinceEpoch) const;

  private:
    std::unique_ptr<icu::SimpleDateFormat> m_format;
    mutable std::mutex m_mutex;
};

} // namespace platform
