#include "platform/JsonPathCache.h"

namespace platform {

const JsonPathQuery* JsonPathCache::query(const QString& text, JsonPathError* error) {
    auto found = m_queries.find(text);
    if (found == m_queries.end()) {
        if (m_queries.size() >= MaximumSize)
            m_queries.clear();
        JsonPathError failure;
        std::optional<JsonPathQuery> parsed = JsonPathQuery::parse(text, &failure);
        found = parsed ? m_queries.emplace(text, std::move(*parsed)).first
                       : m_queries.emplace(text, failure).first;
    }
    if (const JsonPathError* failure = std::get_if<JsonPathError>(&found->second)) {
        if (error)
            *error = *failure;
        return nullptr;
    }
    return &std::get<JsonPathQuery>(found->second);
}

} // namespace platform
