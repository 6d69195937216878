#include "cli/DocumentOutput.h"

#include <nlohmann/json.hpp>

namespace cli {

QString valueText(const std::optional<platform::JsonValue>& value) {
    if (!value)
        return {};
    if (value->is_string())
        return QString::fromStdString(value->get_ref<const std::string&>());
    return QString::fromUtf8(platform::toJsonBytes(*value));
}

} // namespace cli
