#include "platform/PlainDatePattern.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <ctime>

namespace platform {

namespace {

/// The numeric fields a plain pattern may hold: letter, count, where the broken-down time keeps
/// the value, and what to add to it.
struct NumericField {
    char letter;
    qsizetype count;
    int std::tm::*member;
    int offset;
};
constexpr NumericField NumericFields[] = {
    {'y', 1, &std::tm::tm_year, 1900}, {'y', 4, &std::tm::tm_year, 1900}, {'M', 2, &std::tm::tm_mon, 1},
    {'d', 2, &std::tm::tm_mday, 0},    {'H', 2, &std::tm::tm_hour, 0},    {'m', 2, &std::tm::tm_min, 0},
    {'s', 2, &std::tm::tm_sec, 0},
};

} // namespace

std::optional<PlainDatePattern> PlainDatePattern::parse(const QString& pattern) {
    PlainDatePattern plain;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern.at(i + run) == c)
            ++run;
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!letter && c != u'\'') {
            if (plain.m_fields.empty() || plain.m_fields.back().literal.isEmpty())
                plain.m_fields.emplace_back();
            plain.m_fields.back().literal += pattern.mid(i, run);
        } else if (c == u'E' && run == 4) {
            plain.m_fields.push_back({{}, true});
        } else {
            const auto* field =
                std::find_if(std::begin(NumericFields), std::end(NumericFields), [&](const NumericField& f) {
                    return c == QLatin1Char(f.letter) && run == f.count;
                });
            if (field == std::end(NumericFields))
                return std::nullopt;
            plain.m_fields.push_back({{}, false, field->member, field->offset, int(run)});
        }
        i += run;
    }
    return plain;
}

bool PlainDatePattern::isEnglishLocale(const QByteArray& posixName) {
    // The codeset goes; a modifier ("@calendar=...", "@euro") may change what ICU writes.
    if (posixName.contains('@'))
        return false;
    const qsizetype dot = posixName.indexOf('.');
    const QByteArray name = dot < 0 ? posixName : posixName.left(dot);
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
        if (!field.literal.isEmpty())
            text += field.literal;
        else if (field.weekday)
            text += QString::fromUtf16(Weekdays[local.tm_wday]);
        else
            text += QString::number(local.*field.member + field.offset).rightJustified(field.width, u'0');
    }
    return text;
}

} // namespace platform
