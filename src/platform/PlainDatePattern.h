#pragma once

#include <QByteArray>
#include <QString>
#include <ctime>
#include <optional>
#include <vector>

namespace platform {

/// A date pattern of numeric Gregorian fields and full English weekday names ("y-MM-dd\tHH:mm:ss\t
/// EEEE"), formatted in the system's time zone without ICU, as ICU formats it in an English locale.
/// The technical log stamps every line this way: loading ICU's locale, calendar and zone data for
/// that would cost each command that logs some megabytes and milliseconds.
class PlainDatePattern {
  public:
    /// Null unless every field of `pattern` is one of y, yyyy, MM, dd, HH, mm, ss and EEEE, between
    /// literals that are neither letters nor quotes.
    static std::optional<PlainDatePattern> parse(const QString& pattern);

    /// Whether the user's locale, found as ICU finds its default (LC_MESSAGES, then LC_ALL,
    /// LC_MESSAGES and LANG in the environment; C and POSIX meaning en_US_POSIX), is an English
    /// one whose calendar is the Gregorian: only there does a plain pattern read as ICU writes it.
    static bool defaultLocaleIsEnglish();
    /// The same for a POSIX locale name ("en_GB.UTF-8", "C").
    static bool isEnglishLocale(const QByteArray& posixName);

    QString format(qint64 millisecondsSinceEpoch) const;

  private:
    /// A literal, a weekday name (`weekday`), or a number: `member` of the broken-down time plus
    /// `offset`, padded with zeros to `width`.
    struct Field {
        QString literal;
        bool weekday = false;
        int std::tm::*member = nullptr;
        int offset = 0;
        int width = 0;
    };
    std::vector<Field> m_fields;
};

} // namespace platform
