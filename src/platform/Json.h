#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <nlohmann/json_fwd.hpp>
#include <optional>

// Callers that build or inspect JSON values include <nlohmann/json.hpp> themselves; this header
// only declares the type, so that including it stays cheap.

namespace platform {

/// One JSON value as a feed delivers it; objects keep the order of their members.
using JsonValue = nlohmann::ordered_json;

/// Deepest nesting of arrays and objects that parseJson() accepts. Serialising and converting
/// recurse once per level; the limit keeps a hostile feed from exhausting a thread's stack.
inline constexpr int MaximumJsonNestingDepth = 512;

/// Parses one JSON text (UTF-8). Never throws. On failure returns nullopt and fills `error`
/// (Error::JsonDomain, nlohmann's error id as code, a description naming the byte position, and
/// the zero-based offset of the offending byte, or the input's size for a premature end, under
/// the user-information key "byteOffset").
std::optional<JsonValue> parseJson(const QByteArray& bytes, Error* error = nullptr);

/// Serialises `value` as UTF-8, compact or indented by two spaces. Never throws: invalid UTF-8 in
/// strings is written as U+FFFD, non-finite numbers as null.
QByteArray toJsonBytes(const JsonValue& value, bool pretty = false);

/// Appends `text` to `out` as a JSON string, quotes included, with the escapes toJsonBytes()
/// writes (UTF-8 as it is, control characters as \n or \u001f), for output written piece by piece.
void appendJsonString(QByteArray& out, QStringView text);

/// A feed value as a person reads it: a string as it is, any other value as compact JSON; no value
/// as an empty text.
QString valueText(const std::optional<JsonValue>& value);

/// objects → QVariantMap (member order is lost), arrays → QVariantList, strings → QString,
/// integers → qint64 (quint64 above its range), other numbers → double, booleans → bool,
/// null → QVariant::fromValue(nullptr).
QVariant jsonToVariant(const JsonValue& value);

/// The inverse of jsonToVariant(), also taking QStringList, QVariantHash, QByteArray (as UTF-8
/// text), QChar and the other integer and floating-point types; an invalid QVariant becomes
/// null. Any other type becomes null and fills `error` (Error::JsonDomain).
JsonValue variantToJson(const QVariant& value, Error* error = nullptr);

} // namespace platform
