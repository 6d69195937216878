#include "appbase/NorvaneVersion.h"

#include <QStringList>
#include <tuple>

namespace {

int leadingInteger(const QString& text) {
    qsizetype end = 0;
    const QString trimmed = text.trimmed();
    if (end < trimmed.size() && (trimmed.at(end) == QLatin1Char('-') || trimmed.at(end) == QLatin1Char('+')))
        ++end;
    while (end < trimmed.size() && trimmed.at(end).isDigit() && end < 10)
        ++end;
    return trimmed.left(end).toInt();
}

/// Reads "3" or "3b2" into the number and, for the latter, the beta number.
void readPart(const QString& part, int& number, NorvaneVersion& version) {
    const qsizetype b = part.indexOf(QLatin1Char('b'), 0, Qt::CaseInsensitive);
    if (b < 0) {
        number = leadingInteger(part);
        return;
    }
    number = leadingInteger(part.left(b));
    version.betaNumber = leadingInteger(part.mid(b + 1));
    version.isBeta = true;
}

} // namespace

NorvaneVersion NorvaneVersion::parse(const QString& text) {
    NorvaneVersion version;
    version.text = text;
    const QStringList parts = text.split(QLatin1Char('.'));
    version.major = leadingInteger(parts.value(0));
    if (parts.size() > 1)
        readPart(parts.at(1), version.minor, version);
    if (parts.size() > 2)
        readPart(parts.at(2), version.patch, version);
    return version;
}

int NorvaneVersion::compare(const NorvaneVersion& a, const NorvaneVersion& b) {
    const auto key = [](const NorvaneVersion& v) {
        return std::tuple(v.major, v.minor, v.patch, !v.isBeta, v.betaNumber);
    };
    if (key(a) < key(b))
        return -1;
    return key(b) < key(a) ? 1 : 0;
}
