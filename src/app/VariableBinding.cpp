#include "app/VariableBinding.h"

#include "app/GraflinkVariable.h"

#include <nlohmann/json.hpp>

VariableBinding VariableBinding::of(const GraflinkVariable& variable) {
    return VariableBinding{
        variable.XPath(),        variable.valueType(),          variable.format().value_or(QString()),
        variable.fallbackMode(), variable.currentStringValue(), false};
}

bool VariableBinding::matches(const GraflinkVariable& variable) const {
    return path == variable.XPath() && valueType == variable.valueType() &&
           format == variable.format().value_or(QString()) && fallbackMode == variable.fallbackMode();
}
