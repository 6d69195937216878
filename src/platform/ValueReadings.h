#pragma once

#include <QString>
#include <QVariant>

namespace platform {

/// The lenient readings the platform applies when a value of one kind is read as another:
/// numbers from the leading number of a text ("12.5 kg" → 12.5, "abc" → 0), booleans from
/// "YES"/"true"/non-zero numbers. Used wherever stored or fed values are read by kind.
class ValueReadings {
  public:
    /// The leading decimal number of `text` after blanks; 0 when there is none.
    static double doubleReading(const QString& text);
    /// The leading integer of `text` after blanks, clamped to 32 bits; 0 when there is none.
    static qint32 int32Reading(const QString& text);
    /// "YES"/"true" (any case) or a non-zero leading number.
    static bool boolReading(const QString& text);

    static double doubleReading(const QVariant& value);
    static qint64 integerReading(const QVariant& value);
    static bool boolReading(const QVariant& value);
};

} // namespace platform
