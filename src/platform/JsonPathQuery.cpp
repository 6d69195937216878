#include "platform/JsonPathQuery.h"

#include "platform/JsonPathEvaluator.h"
#include "platform/JsonPathParser.h"
#include "platform/JsonValueNodes.h"

namespace platform {

QString JsonPathError::toString() const {
    return QStringLiteral("%1 at character %2").arg(message).arg(offset);
}

std::optional<JsonPathQuery> JsonPathQuery::parse(const QString& text, JsonPathError* error) {
    try {
        return JsonPathQuery(std::make_shared<const jsonpath::Query>(JsonPathParser(text).query()));
    } catch (const JsonPathSyntaxError& failure) {
        if (error)
            *error = JsonPathError{failure.offset, failure.message};
        return std::nullopt;
    }
}

std::vector<const JsonValue*> JsonPathQuery::select(const JsonValue& root, std::size_t limit) const {
    JsonValueNodes nodes;
    return JsonPathEvaluator<JsonValueNodes>(nodes, &root).select(*m_query, limit);
}

} // namespace platform
