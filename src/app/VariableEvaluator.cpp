#include "app/VariableEvaluator.h"

#include "app/GraflinkVariable.h"
#include "platform/JsonFeed.h"
#include "platform/JsonKeyPath.h"
#include "platform/JsonPathQuery.h"
#include "platform/NumberPatternFormatter.h"
#include "platform/ValueReadings.h"
#include "platform/XPathEvaluator.h"
#include "platform/XmlDocument.h"

#include <QSet>
#include <nlohmann/json.hpp>

VariableEvaluator::VariableEvaluator() = default;

VariableEvaluator::~VariableEvaluator() = default;

QString VariableEvaluator::formatNumber(const QString& pattern, double value) {
    auto it = m_formatters.find(pattern);
    if (it == m_formatters.end())
        it = m_formatters.emplace(pattern, std::make_unique<platform::NumberPatternFormatter>(pattern)).first;
    return it->second->format(value);
}

VariableBindings VariableEvaluator::bindingsOf(const QList<GraflinkVariable*>& variables) {
    VariableBindings bindings;
    bindings.reserve(std::size_t(variables.size()));
    for (const GraflinkVariable* variable : variables)
        bindings.push_back(VariableBinding::of(*variable));
    return bindings;
}

void VariableEvaluator::apply(const VariableBindings& bindings, const QList<GraflinkVariable*>& variables) {
    for (qsizetype i = 0; i < variables.size() && std::size_t(i) < bindings.size(); ++i)
        if (bindings[std::size_t(i)].changed)
            variables[i]->setCurrentStringValue(bindings[std::size_t(i)].value);
}

bool VariableEvaluator::applyUnedited(const VariableBindings& bindings,
                                      const QList<GraflinkVariable*>& copied,
                                      const QList<GraflinkVariable*>& current) {
    if (copied == current) {
        // The usual case: nothing was added, removed or moved while the refresh was under way.
        bool edited = false;
        for (qsizetype i = 0; i < current.size(); ++i) {
            const VariableBinding& binding = bindings[std::size_t(i)];
            if (!binding.matches(*current[i]))
                edited = true;
            else if (binding.changed)
                current[i]->setCurrentStringValue(binding.value);
        }
        return edited;
    }
    const QSet<GraflinkVariable*> present(current.cbegin(), current.cend());
    for (qsizetype i = 0; i < copied.size(); ++i) {
        GraflinkVariable* variable = copied[i];
        const VariableBinding& binding = bindings[std::size_t(i)];
        if (present.contains(variable) && binding.changed && binding.matches(*variable))
            variable->setCurrentStringValue(binding.value);
    }
    return true;
}

void VariableEvaluator::evaluate(VariableBindings& bindings, const platform::XmlDocument& document) {
    platform::XPathEvaluator evaluator(document, &m_xpaths);
    evaluator.useDocumentNamespaces();
    for (VariableBinding& binding : bindings) {
        if (!binding.hasPath())
            continue;
        const std::optional<QString> text = evaluator.firstNodeStringValue(*binding.path);
        takeText(binding, text ? std::optional<std::string>(text->toStdString()) : std::nullopt);
    }
}

namespace {

// Hands each binding that has a path its value from `values`, which a streamed pass found for
// the bindings' paths in order (VariableEvaluator::pathsOf).
template <class Values, class Take>
void takeInPathOrder(VariableBindings& bindings, const Values& values, const Take& take) {
    std::size_t next = 0;
    for (VariableBinding& binding : bindings)
        if (binding.hasPath() && next < values.size())
            take(binding, values[next++]);
}

} // namespace

void VariableEvaluator::evaluate(VariableBindings& bindings,
                                 const platform::StreamedLocationPaths::Values& values) {
    takeInPathOrder(bindings, values,
                    [this](VariableBinding& binding, const std::optional<std::string>& text) {
                        takeText(binding, text);
                    });
}

void VariableEvaluator::evaluate(VariableBindings& bindings,
                                 const platform::StreamedKeyPaths::Values& values) {
    takeInPathOrder(bindings, values,
                    [this](VariableBinding& binding, const std::optional<platform::JsonValue>& found) {
                        take(binding, found ? &*found : nullptr);
                    });
}

QStringList VariableEvaluator::pathsOf(const VariableBindings& bindings) {
    QStringList paths;
    for (const VariableBinding& binding : bindings)
        if (binding.hasPath())
            paths.append(*binding.path);
    return paths;
}

void VariableEvaluator::takeText(VariableBinding& binding, const std::optional<std::string>& text) {
    if (!text) {
        // Nothing found: the value stays, unless the variable sends a fallback instead.
        if (binding.fallbackMode != GraflinkVariable::KeepOnAir)
            binding.take(std::nullopt);
        return;
    }
    if (binding.valueType == GraflinkVariable::Number) {
        const double number = platform::ValueReadings::doubleReading(QString::fromStdString(*text));
        binding.take(platform::JsonValue(formatNumber(binding.format, number).toStdString()));
    } else {
        binding.take(platform::JsonValue(*text));
    }
}

void VariableEvaluator::evaluate(VariableBindings& bindings, const platform::JsonValue& root) {
    for (VariableBinding& binding : bindings) {
        if (!binding.hasPath())
            continue;
        if (!platform::JsonPathQuery::isQuery(*binding.path)) {
            take(binding, platform::JsonKeyPath::valueAt(root, *binding.path));
            continue;
        }
        const platform::JsonPathQuery* query = m_jsonPaths.query(*binding.path);
        const std::vector<const platform::JsonValue*> found =
            query ? query->select(root, 1) : std::vector<const platform::JsonValue*>();
        take(binding, found.empty() ? nullptr : found.front());
    }
}

void VariableEvaluator::evaluateFeed(VariableBindings& bindings, const platform::JsonFeed& feed) {
    for (VariableBinding& binding : bindings) {
        if (!binding.hasPath())
            continue;
        if (!platform::JsonPathQuery::isQuery(*binding.path)) {
            const std::optional<platform::JsonValue> found =
                feed.valueAt(platform::JsonKeyPath::components(*binding.path));
            take(binding, found ? &*found : nullptr);
            continue;
        }
        const platform::JsonPathQuery* query = m_jsonPaths.query(*binding.path);
        const std::vector<platform::JsonValue> found =
            query ? feed.select(*query, 1) : std::vector<platform::JsonValue>();
        take(binding, found.empty() ? nullptr : &found.front());
    }
}

void VariableEvaluator::evaluate(const QList<GraflinkVariable*>& variables,
                                 const platform::XmlDocument& document) {
    VariableBindings bindings = bindingsOf(variables);
    evaluate(bindings, document);
    apply(bindings, variables);
}

void VariableEvaluator::evaluate(const QList<GraflinkVariable*>& variables, const platform::JsonValue& root) {
    VariableBindings bindings = bindingsOf(variables);
    evaluate(bindings, root);
    apply(bindings, variables);
}

void VariableEvaluator::evaluateFeed(const QList<GraflinkVariable*>& variables,
                                     const platform::JsonFeed& feed) {
    VariableBindings bindings = bindingsOf(variables);
    evaluateFeed(bindings, feed);
    apply(bindings, variables);
}

void VariableEvaluator::take(VariableBinding& binding, const platform::JsonValue* found) {
    if (!found && binding.fallbackMode != GraflinkVariable::KeepOnAir) {
        binding.take(std::nullopt);
        return;
    }
    if (binding.valueType == GraflinkVariable::Number) {
        QString text;
        if (found && found->is_number())
            text = formatNumber(binding.format, found->get<double>());
        else if (found && found->is_string())
            text = formatNumber(binding.format, platform::ValueReadings::doubleReading(QString::fromStdString(
                                                    found->get_ref<const std::string&>())));
        binding.take(platform::JsonValue(text.toStdString()));
    } else {
        binding.take(found ? std::optional<platform::JsonValue>(*found) : std::nullopt);
    }
}
