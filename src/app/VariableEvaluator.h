#pragma once

#include "app/VariableBinding.h"
#include "platform/Json.h"
#include "platform/JsonPathCache.h"
#include "platform/StreamedKeyPaths.h"
#include "platform/StreamedLocationPaths.h"
#include "platform/XPathCache.h"

#include <QList>
#include <QString>
#include <memory>
#include <unordered_map>

class GraflinkVariable;
namespace platform {
class JsonFeed;
class NumberPatternFormatter;
class XmlDocument;
} // namespace platform

/// Evaluates variables against a parsed feed and formats number variables. Keeps compiled
/// XPath expressions, parsed JSONPath queries and number formatters from one refresh to the next,
/// so a refresh compiles each distinct path and pattern at most once. One thread at a time (the caller
/// serialises).
///
/// The binding forms work on copies of the variables and may run on any thread; the forms over
/// variables apply the results at once (main thread).
class VariableEvaluator {
  public:
    VariableEvaluator();
    ~VariableEvaluator();

    /// The first node each path selects gives its string value; a path that selects nothing or
    /// is not valid leaves the value as it was. Bindings without a path are skipped.
    void evaluate(VariableBindings& bindings, const platform::XmlDocument& document);
    /// The same, from the values a streamed pass found for the bindings' paths (pathsOf).
    void evaluate(VariableBindings& bindings, const platform::StreamedLocationPaths::Values& values);
    /// The value each key path leads to replaces the value (a path that leads nowhere clears it,
    /// or gives the empty string for a number). A path that starts with "$" is a JSONPath query:
    /// the first node it selects counts as where it leads (none, or a query that does not parse:
    /// nowhere). Bindings without a path are skipped.
    void evaluate(VariableBindings& bindings, const platform::JsonValue& root);
    /// The same, on a feed still in its parsed form: only the values the bindings take are
    /// turned into JsonValue.
    void evaluateFeed(VariableBindings& bindings, const platform::JsonFeed& feed);
    /// The same, from the values a streamed pass found for the bindings' key paths (pathsOf).
    void evaluate(VariableBindings& bindings, const platform::StreamedKeyPaths::Values& values);

    void evaluate(const QList<GraflinkVariable*>& variables, const platform::XmlDocument& document);
    void evaluate(const QList<GraflinkVariable*>& variables, const platform::JsonValue& root);
    void evaluateFeed(const QList<GraflinkVariable*>& variables, const platform::JsonFeed& feed);

    /// `text` parsed as a JSONPath query, from the cache the evaluation uses; null (and `error`)
    /// when it does not parse.
    const platform::JsonPathQuery* jsonPath(const QString& text, platform::JsonPathError* error = nullptr) {
        return m_jsonPaths.query(text, error);
    }

    /// `value` formatted with the number pattern (an invalid pattern gives the empty string).
    QString formatNumber(const QString& pattern, double value);

    /// The paths of the bindings that have one, in order.
    static QStringList pathsOf(const VariableBindings& bindings);
    /// Copies of the variables, in list order.
    static VariableBindings bindingsOf(const QList<GraflinkVariable*>& variables);
    /// Gives each variable its binding's value where the refresh changed it.
    static void apply(const VariableBindings& bindings, const QList<GraflinkVariable*>& variables);
    /// Applies the changed values of `bindings`, made from `copied` when a refresh started, to those
    /// variables that are still in `current` and were not edited since. Returns whether any was
    /// edited, added, removed or moved meanwhile: its value then comes with the next refresh.
    static bool applyUnedited(const VariableBindings& bindings, const QList<GraflinkVariable*>& copied,
                              const QList<GraflinkVariable*>& current);

  private:
    /// One binding's new value from the string value of its path's first node (none: nothing found).
    void takeText(VariableBinding& binding, const std::optional<std::string>& text);
    /// One binding's new value from what its key path found (null: led nowhere).
    void take(VariableBinding& binding, const platform::JsonValue* found);

    platform::XPathCache m_xpaths;
    platform::JsonPathCache m_jsonPaths;
    std::unordered_map<QString, std::unique_ptr<platform::NumberPatternFormatter>> m_formatters;
};
