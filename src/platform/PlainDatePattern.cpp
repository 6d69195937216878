#include "platform/PlainDatePattern.h"

#include <clocale>
#include <cstdlib>
#include <ctime>

namespace platform {

std::optional<PlainDatePattern> PlainDatePattern::parse(const QString& pattern) {
    PlainDatePattern plain;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern.at(i + run) == c)
            ++run;
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!letter && c != u'\'') {
            if (plain.m_fields.empty() || plain.m_fields.back().letter != 0)
                plain.m_fields.push_back({0, 0, {}});
            plain.m_fields.back().literal += pattern.mid(i, run);
        } else {
            const char field = char(c.unicode());
            const bool known = (field == 'y' && (run == 1 || run == 4)) ||
                               (run == 2 && (field == 'M' || field == 'd' || field == 'H' || field == 'm' ||
                                             field == 's')) ||
                               (field == 'E' && run == 4);
            if (!known)
                return std::nullopt;
            plain.m_fields.push_back({field, int(run), {}});
        }
        i += run;
    }
    return plain;
}

bool PlainDatePattern::isEnglishLocale(const QByteArray& posixName) {
    // The codeset goes; a modifier ("@calendar=...", "@euro") may change what ICU writes.
    const qsizetype dot = posixName.indexOf('.');
    const QByteArray name = dot < 0 ? posixName : posixName.left(dot);
    if (posixName.contains('@'))
        return false;
    if (name.isEmpty() || name == "C" || name == "POSIX")
        return true; // en_US_POSIX
    // English where the Gregorian calendar is the region's own (not en_TH, say).
    for (const char* english : {"en", "en_US", "en_GB", "en_CA", "en_AU", "en_NZ", "en_IE", "en_ZA", "en_IN"})
        if (name == english)
            return true;
    return false;
}

bool PlainDatePattern::defaultLocaleIsEnglish() {
    const auto unset = [](const char* name) {
        return name == nullptr || !*name || qstrcmp(name, "C") == 0 || qstrcmp(name, "POSIX") == 0;
    };
    const char* name = std::setlocale(LC_MESSAGES, nullptr);
    if (unset(name)) {
        name = std::getenv("LC_ALL");
        if (!name)
            name = std::getenv("LC_MESSAGES");
        if (!name)
            name = std::getenv("LANG");
    }
    return unset(name) || isEnglishLocale(QByteArray(name));
}

QString PlainDatePattern::format(qint64 millisecondsSinceEpoch) const {
    static const char16_t* const Weekdays[] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                               u"Thursday", u"Friday", u"Saturday"};
    const qint64 seconds = millisecondsSinceEpoch >= 0 ? millisecondsSinceEpoch / 1000
                                                       : -((-millisecondsSinceEpoch + 999) / 1000);
    const std::time_t time = std::time_t(seconds);
    std::tm local{};
    if (!localtime_r(&time, &local))
        return {};
    QString text;
    for (const Field& field : m_fields) {
        const auto number = [&](int value) {
            text += QString::number(value).rightJustified(field.width, u'0');
        };
        switch (field.letter) {
        case 0:
            text += field.literal;
            break;
        case 'y':
            number(local.tm_year + 1900);
            break;
        case 'M':
            number(local.tm_mon + 1);
            break;
        case 'd':
            number(local.tm_mday);
            break;
        case 'H':
            number(local.tm_hour);
            break;
        case 'm':
            number(local.tm_min);
            break;
        case 's':
            number(local.tm_sec);
            break;
        case 'E':
            text += QString::fromUtf16(Weekdays[local.tm_wday]);
            break;
        }
    }
    return text;
}

} // namespace platform
