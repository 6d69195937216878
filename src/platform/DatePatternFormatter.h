#pragma once

#include "platform/PlainDatePattern.h"

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
/// zone, by default the user's (from LANG/LC_* and TZ). ICU's format is made on first use: loading
/// its calendar and time-zone data is a millisecond and a few megabytes that a command which never
/// formats a date does not pay; in the user's zone and an English locale, a plain pattern (see
/// PlainDatePattern) needs no ICU at all. Thread-safe: ICU date formats carry a mutable calendar,
/// so calls are serialised.
class DatePatternFormatter {
  public:
    explicit DatePatternFormatter(const QString& pattern, const QString& localeName = {},
                                  const QString& timeZoneId = {});
    ~DatePatternFormatter();
    DatePatternFormatter(const DatePatternFormatter&) = delete;
    DatePatternFormatter& operator=(const DatePatternFormatter&) = delete;

    bool isValid() const;
    QString format(const QDateTime& instant) const { return format(instant.toMSecsSinceEpoch()); }
    QString format(qint64 millisecondsSinceEpoch) const;

  private:
    /// The ICU format, made on the first call (null when the pattern or locale is refused).
    /// Under m_mutex.
    icu::SimpleDateFormat* made() const;

    std::optional<PlainDatePattern> m_plain;
    QString m_pattern;
    QString m_localeName;
    QString m_timeZoneId;
    mutable bool m_made = false;
    mutable std::unique_ptr<icu::SimpleDateFormat> m_format;
    mutable std::mutex m_mutex;
};

} // namespace platform
