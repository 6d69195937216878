#include "platform/ValueReadings.h"

#include "platform/CNumericLocale.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace platform {

namespace {

/// The longest prefix (after blanks) that forms a decimal number: sign, digits, point, digits,
/// exponent. Returns an empty array when there is none.
QByteArray leadingNumber(const QString& text, bool allowFraction) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    QByteArray number;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        number += text.at(i++).toLatin1();
    qsizetype digits = 0;
    while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        number += text.at(i++).toLatin1();
        ++digits;
    }
    if (allowFraction && i < n && text.at(i) == QLatin1Char('.')) {
        QByteArray fraction(".");
        qsizetype j = i + 1;
        while (j < n && text.at(j) >= QLatin1Char('0') && text.at(j) <= QLatin1Char('9')) {
            fraction += text.at(j++).toLatin1();
            ++digits;
        }
        if (digits > 0) {
            number += fraction;
            i = j;
        }
    }
    if (digits == 0)
        return {};
    if (allowFraction && i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        QByteArray exponent("e");
        qsizetype j = i + 1;
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            exponent += text.at(j++).toLatin1();
        bool any = false;
        while (j < n && text.at(j) >= QLatin1Char('0') && text.at(j) <= QLatin1Char('9')) {
            exponent += text.at(j++).toLatin1();
            any = true;
        }
        if (any)
            number += exponent;
    }
    return number;
}

} // namespace

double ValueReadings::doubleReading(const QString& text) {
    const QByteArray number = leadingNumber(text, true);
    if (number.isEmpty())
        return 0.0;
    // Our own C-syntax prefix, read in the C locale: the process's follows the user's (Qt sets it
    // from the environment), where a decimal comma would end "0.5" at its point.
    return strtod_l(number.constData(), nullptr, CNumericLocale::handle());
}

qint32 ValueReadings::int32Reading(const QString& text) {
    const QByteArray number = leadingNumber(text, false);
    if (number.isEmpty())
        return 0;
    const long long value = std::strtoll(number.constData(), nullptr, 10);
    if (value > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (value < std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(value);
}

bool ValueReadings::boolReading(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0 ||
        trimmed.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
        return true;
    return int32Reading(trimmed) != 0;
}

double ValueReadings::doubleReading(const QVariant& value) {
    if (value.typeId() == QMetaType::QString)
        return doubleReading(value.toString());
    return value.toDouble();
}

qint64 ValueReadings::integerReading(const QVariant& value) {
    if (value.typeId() == QMetaType::QString)
        return static_cast<qint64>(doubleReading(value.toString()));
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double real = value.toDouble();
        return std::isfinite(real) ? static_cast<qint64>(real) : 0;
    }
    return value.toLongLong();
}

bool ValueReadings::boolReading(const QVariant& value) {
    if (value.typeId() == QMetaType::QString)
        return boolReading(value.toString());
    return value.toBool();
}

} // namespace platform
