#pragma once

#include "platform/Json.h"
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
/// XPath expressions and number formatters from one refresh to the next, so a refresh compiles
/// each distinct path and pattern at most once. Main thread (one thread at a time).
class VariableEvaluator {
  public:
    VariableEvaluator();
    ~VariableEvaluator();

    /// The first node each path selects gives its string value; a path that selects nothing or
    /// is not valid leaves the variable's value as it was. Variables without a path are skipped.
    void evaluate(const QList<GraflinkVariable*>& variables, const platform::XmlDocument& document);
    /// The value each key path leads to replaces the variable's value (a path that leads
    /// nowhere clears it, or gives the empty string for a number). Variables without a path are
    /// skipped.
    void evaluate(const QList<GraflinkVariable*>& variables, const platform::JsonValue& root);
    /// The same, on a feed still in its parsed form: only the values the variables take are
    /// turned into JsonValue.
    void evaluateFeed(const QList<GraflinkVariable*>& variables, const platform::JsonFeed& feed);

    /// `value` formatted with the number pattern (an invalid pattern gives the empty string).
    QString formatNumber(const QString& pattern, double value);

  private:
    /// One variable's new value from what its key path found (null: led nowhere).
    void take(GraflinkVariable& variable, const platform::JsonValue* found);

    platform::XPathCache m_xpaths;
    std::unordered_map<QString, std::unique_ptr<platform::NumberPatternFormatter>> m_formatters;
};
