#include "app/VariableEvaluator.h"

#include "app/GraflinkVariable.h"
#include "app/JsonKeyPath.h"
#include "platform/JsonFeed.h"
#include "platform/NumberPatternFormatter.h"
#include "platform/ValueReadings.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <nlohmann/json.hpp>

namespace {
bool hasPath(const GraflinkVariable& variable) {
    return variable.XPath() && !variable.XPath()->isEmpty();
}
} // namespace

VariableEvaluator::VariableEvaluator() = default;

VariableEvaluator::~VariableEvaluator() = default;

QString VariableEvaluator::formatNumber(const QString& pattern, double value) {
    auto it = m_formatters.find(pattern);
    if (it == m_formatters.end())
        it = m_formatters.emplace(pattern, std::make_unique<platform::NumberPatternFormatter>(pattern)).first;
    return it->second->format(value);
}

void VariableEvaluator::evaluate(const QList<GraflinkVariable*>& variables,
                                 const platform::XmlDocument& document) {
    platform::XPathEvaluator evaluator(document, &m_xpaths);
    evaluator.useDocumentNamespaces();
    for (GraflinkVariable* variable : variables) {
        if (!hasPath(*variable))
            continue;
        const std::optional<QString> text = evaluator.firstNodeStringValue(*variable->XPath());
        if (!text) {
            // Nothing found: the value stays, unless the variable sends a fallback instead.
            if (variable->fallbackMode() != GraflinkVariable::KeepOnAir)
                variable->setCurrentStringValue(std::nullopt);
            continue;
        }
        if (variable->valueType() == GraflinkVariable::Number) {
            const double number = platform::ValueReadings::doubleReading(*text);
            variable->setCurrentStringValue(platform::JsonValue(
                formatNumber(variable->format().value_or(QString()), number).toStdString()));
        } else {
            variable->setCurrentStringValue(platform::JsonValue(text->toStdString()));
        }
    }
}

void VariableEvaluator::evaluate(const QList<GraflinkVariable*>& variables, const platform::JsonValue& root) {
    for (GraflinkVariable* variable : variables) {
        if (hasPath(*variable))
            take(*variable, JsonKeyPath::valueAt(root, *variable->XPath()));
    }
}

void VariableEvaluator::evaluateFeed(const QList<GraflinkVariable*>& variables,
                                     const platform::JsonFeed& feed) {
    for (GraflinkVariable* variable : variables) {
        if (!hasPath(*variable))
            continue;
        const std::optional<platform::JsonValue> found =
            feed.valueAt(JsonKeyPath::components(*variable->XPath()));
        take(*variable, found ? &*found : nullptr);
    }
}

void VariableEvaluator::take(GraflinkVariable& variable, const platform::JsonValue* found) {
    if (!found && variable.fallbackMode() != GraflinkVariable::KeepOnAir) {
        variable.setCurrentStringValue(std::nullopt);
        return;
    }
    if (variable.valueType() == GraflinkVariable::Number) {
        QString text;
        const QString pattern = variable.format().value_or(QString());
        if (found && found->is_number())
            text = formatNumber(pattern, found->get<double>());
        else if (found && found->is_string())
            text = formatNumber(pattern, platform::ValueReadings::doubleReading(
                                             QString::fromStdString(found->get_ref<const std::string&>())));
        variable.setCurrentStringValue(platform::JsonValue(text.toStdString()));
    } else if (found) {
        variable.setCurrentStringValue(*found);
    } else {
        variable.setCurrentStringValue(std::nullopt);
    }
}
