#include "platform/JsonFeed.h"
#include "platform/JsonPathQuery.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <vector>

using platform::JsonFeed;
using platform::JsonPathQuery;
using platform::JsonValue;

namespace {

// Member order does not count in the suite's expected values.
std::vector<nlohmann::json> unordered(const std::vector<JsonValue>& values) {
    std::vector<nlohmann::json> result;
    for (const JsonValue& value : values)
        result.push_back(nlohmann::json::parse(value.dump()));
    return result;
}

// Empty when the case passes, else why not.
std::string failureOf(const JsonValue& test) {
    const QString selector = QString::fromStdString(test["selector"].get<std::string>());
    platform::JsonPathError error;
    const std::optional<JsonPathQuery> query = JsonPathQuery::parse(selector, &error);
    if (test.value("invalid_selector", false))
        return query ? "accepted an invalid query" : "";
    if (!query)
        return "refused: " + error.toString().toStdString();
    std::vector<std::vector<nlohmann::json>> allowed;
    if (test.contains("result"))
        allowed.push_back(unordered(test["result"].get<std::vector<JsonValue>>()));
    for (const JsonValue& result : test.value("results", JsonValue::array()))
        allowed.push_back(unordered(result.get<std::vector<JsonValue>>()));
    auto isAllowed = [&allowed](const std::vector<JsonValue>& found) {
        return std::find(allowed.begin(), allowed.end(), unordered(found)) != allowed.end();
    };

    std::vector<JsonValue> onTree;
    for (const JsonValue* node : query->select(test["document"]))
        onTree.push_back(*node);
    if (!isAllowed(onTree))
        return "on a JsonValue tree: " + JsonValue(onTree).dump();
    const std::unique_ptr<JsonFeed> feed =
        JsonFeed::parse(QByteArray::fromStdString(test["document"].dump()));
    if (!feed)
        return "the compact parser refused the document";
    if (!isAllowed(feed->select(*query)))
        return "on the compact parse: " + JsonValue(feed->select(*query)).dump();
    if (!onTree.empty() && feed->select(*query, 1) != std::vector<JsonValue>{onTree.front()})
        return "the first node alone differs";
    return "";
}

} // namespace

// Every case of the JSONPath Compliance Test Suite (tests/data/jsonpath-cts), on a JsonValue tree
// and on the compact parse a refresh makes.
TEST(JsonPathComplianceTest, EveryCaseOfTheSuitePasses) {
    QFile file(QStringLiteral(GRAFLINK_JSONPATH_CTS));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const JsonValue suite = JsonValue::parse(file.readAll().toStdString());
    const JsonValue& tests = suite["tests"];
    ASSERT_EQ(tests.size(), 703u);
    std::size_t passed = 0;
    for (const JsonValue& test : tests) {
        const std::string failure = failureOf(test);
        if (failure.empty())
            ++passed;
        else
            ADD_FAILURE() << test["name"].get<std::string>() << " (" << test["selector"].get<std::string>()
                          << "): " << failure;
    }
    std::cout << passed << " of " << tests.size() << " cases pass\n";
}
