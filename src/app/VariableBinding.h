#pragma once

#include "platform/Json.h"

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

class GraflinkVariable;

/// What evaluation and the filter need of one variable, copied off it on the main thread so that
/// a refresh can be worked out on another thread: its path and formatting, and its value, which
/// the refresh replaces. `changed` tells whether the refresh gave it a value to apply.
struct VariableBinding {
    std::optional<QString> path;
    qint32 valueType = 0;
    QString format;
    qint32 fallbackMode = 0;
    std::optional<platform::JsonValue> value;
    bool changed = false;

    /// The variable's settings and current value (main thread, under the variables lock).
    static VariableBinding of(const GraflinkVariable& variable);
    /// Whether the variable is still set up as it was when `of` copied it: a value worked out for
    /// other settings must not be applied to it.
    bool matches(const GraflinkVariable& variable) const;
    bool hasPath() const { return path && !path->isEmpty(); }
    void take(std::optional<platform::JsonValue> newValue) {
        value = std::move(newValue);
        changed = true;
    }
};

using VariableBindings = std::vector<VariableBinding>;
