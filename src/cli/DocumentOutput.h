#pragma once

#include "platform/Json.h"

#include <QString>
#include <optional>

namespace cli {

/// A feed value as one field of a line: strings as they are, other JSON values compact, no value
/// as an empty field.
QString valueText(const std::optional<platform::JsonValue>& value);

} // namespace cli
