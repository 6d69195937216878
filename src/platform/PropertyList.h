#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QVariant>
#include <optional>

namespace platform {

/// Reads XML and binary property lists and writes XML ones (libplist). Stateless; any thread.
///
/// Value mapping, both ways: dictionary ↔ QVariantMap, array ↔ QVariantList, string ↔ QString,
/// boolean ↔ bool, integer ↔ qint64, real ↔ double, data ↔ QByteArray, date ↔ QDateTime (UTC).
class PropertyList {
  public:
    /// Deepest nesting of arrays and dictionaries read or written.
    static constexpr int MaximumNestingDepth = 512;

    /// Parses `bytes` in either format. Nullopt and `error` (Error::PropertyListDomain) when the
    /// input is no property list, is damaged, or holds a type without a QVariant form (UID).
    /// Integers are 64-bit signed: stored values above INT64_MAX come back negative.
    static std::optional<QVariant> read(const QByteArray& bytes, Error* error = nullptr);

    /// An XML property list of `value`. Also takes QStringList and QVariantHash, and every integer
    /// and floating-point type. Returns an empty array and fills `error` for anything it cannot
    /// represent exactly: other types, null values, unsigned integers above INT64_MAX, strings
    /// with control characters XML cannot carry, invalid dates and dates outside 1932–2069
    /// (libplist holds dates as 32-bit seconds since 2001). Dates keep whole seconds only, as
    /// the XML format does.
    static QByteArray writeXml(const QVariant& value, Error* error = nullptr);
};

} // namespace platform
