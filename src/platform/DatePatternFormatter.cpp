#include "platform/DatePatternFormatter.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace platform {

DatePatternFormatter::DatePatternFormatter(const QString& pattern, const QString& localeName,
                                           const QString& timeZoneId)
    : m_pattern(pattern), m_localeName(localeName), m_timeZoneId(timeZoneId) {
    if (localeName.isEmpty() && timeZoneId.isEmpty() && PlainDatePattern::defaultLocaleIsEnglish())
        m_plain = PlainDatePattern::parse(pattern);
}

DatePatternFormatter::~DatePatternFormatter() = default;

icu::SimpleDateFormat* DatePatternFormatter::made() const {
    if (m_made)
        return m_format.get();
    m_made = true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        m_localeName.isEmpty() ? icu::Locale::getDefault() : icu::Locale(m_localeName.toUtf8().constData());
    auto format = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString::fromUTF8(m_pattern.toStdString()), locale, status);
    // A fallback locale is a warning, not a failure.
    if (U_FAILURE(status))
        return nullptr;
    if (!m_timeZoneId.isEmpty())
        format->adoptTimeZone(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(m_timeZoneId.toStdString())));
    m_format = std::move(format);
    return m_format.get();
}

bool DatePatternFormatter::isValid() const {
    if (m_plain)
        return true;
    std::lock_guard lock(m_mutex);
    return made() != nullptr;
}

QString DatePatternFormatter::format(qint64 millisecondsSinceEpoch) const {
    if (m_plain)
        return m_plain->format(millisecondsSinceEpoch);
    icu::UnicodeString text;
    {
        std::lock_guard lock(m_mutex);
        icu::SimpleDateFormat* format = made();
        if (!format)
            return {};
        format->format(static_cast<UDate>(millisecondsSinceEpoch), text);
    }
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace platform
