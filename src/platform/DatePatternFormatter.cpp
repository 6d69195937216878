#include "platform/DatePatternFormatter.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace platform {

DatePatternFormatter::DatePatternFormatter(const QString& pattern, const QString& localeName,
                                           const QString& timeZoneId) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        localeName.isEmpty() ? icu::Locale::getDefault() : icu::Locale(localeName.toUtf8().constData());
    auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern.toStdString()),
                                                          locale, status);
    // A fallback locale is a warning, not a failure.
    if (U_FAILURE(status))
        return;
    if (!timeZoneId.isEmpty())
        format->adoptTimeZone(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneId.toStdString())));
    m_format = std::move(format);
}

DatePatternFormatter::~DatePatternFormatter() = default;

QString DatePatternFormatter::format(qint64 millisecondsSinceEpoch) const {
    if (!m_format)
        return {};
    icu::UnicodeString text;
    {
        std::lock_guard lock(m_mutex);
        m_format->format(static_cast<UDate>(millisecondsSinceEpoch), text);
    }
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace platform
