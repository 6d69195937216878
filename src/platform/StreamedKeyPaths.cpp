#include "platform/StreamedKeyPaths.h"

#include "platform/ValueReadings.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <simdjson.h>

namespace platform {

namespace ondemand = simdjson::ondemand;
using simdjson::error_code;
using simdjson::SUCCESS;

int StreamedKeyPaths::childFor(int parent, const QString& component) {
    const QByteArray utf8 = component.toUtf8();
    std::string key(utf8.constData(), std::size_t(utf8.size()));
    auto& byKey = m_nodes[std::size_t(parent)].byKey;
    const auto at =
        std::lower_bound(byKey.begin(), byKey.end(), key,
                         [](const auto& entry, const std::string& wanted) { return entry.first < wanted; });
    if (at != byKey.end() && at->first == key)
        return at->second;
    const int made = int(m_nodes.size());
    Node node;
    node.key = key;
    node.index = ValueReadings::int32Reading(component);
    node.depth = m_nodes[std::size_t(parent)].depth + 1;
    m_nodes[std::size_t(parent)].byKey.insert(at, {std::move(key), made});
    m_nodes.push_back(std::move(node));
    return made;
}

std::shared_ptr<const StreamedKeyPaths> StreamedKeyPaths::make(const std::vector<QStringList>& paths) {
    auto made = std::make_shared<StreamedKeyPaths>();
    made->m_nodes.emplace_back();
    for (const QStringList& components : paths) {
        const int path = int(made->m_chains.size());
        std::vector<int> chain;
        int node = 0;
        made->m_nodes[0].below.push_back(path);
        for (const QString& component : components) {
            node = made->childFor(node, component);
            made->m_nodes[std::size_t(node)].below.push_back(path);
            chain.push_back(node);
        }
        made->m_nodes[std::size_t(node)].ends.push_back(path);
        made->m_chains.push_back(std::move(chain));
    }
    for (Node& node : made->m_nodes) {
        for (const auto& [key, child] : node.byKey)
            node.byIndex.emplace_back(made->m_nodes[std::size_t(child)].index, child);
        std::sort(node.byIndex.begin(), node.byIndex.end());
    }
    return made;
}

/// One pass over one text: every value is read (and so checked); the values of the paths are
/// kept as they are met.
class StreamedKeyPaths::Pass {
  public:
    explicit Pass(const StreamedKeyPaths& paths) : m_paths(paths), m_values(paths.pathCount()) {}

    std::optional<Values> run(const QByteArray& json) {
        // The on-demand parser reads up to SIMDJSON_PADDING bytes past the end of the text.
        simdjson::padded_string copy;
        const char* text = json.constData();
        std::size_t capacity = std::size_t(json.capacity());
        if (json.capacity() - json.size() < qsizetype(simdjson::SIMDJSON_PADDING)) {
            copy = simdjson::padded_string(json.constData(), std::size_t(json.size()));
            text = copy.data();
            capacity = copy.size() + simdjson::SIMDJSON_PADDING;
        }
        ondemand::parser parser;
        ondemand::document document;
        ondemand::value top;
        ondemand::json_type type{};
        if (parser.iterate(text, std::size_t(json.size()), capacity).get(document) != SUCCESS ||
            document.get_value().get(top) != SUCCESS || top.type().get(type) != SUCCESS ||
            (type != ondemand::json_type::object && type != ondemand::json_type::array) ||
            visit(top, 0, 0) != SUCCESS)
            return std::nullopt;
        // Anything after the top value is an error, as the compact parse has it.
        const char* after = nullptr;
        if (document.current_location().get(after) == SUCCESS)
            return std::nullopt;
        return std::move(m_values);
    }

  private:
    static constexpr int None = -1;

    const Node* node(int index) const {
        return index == None ? nullptr : &m_paths.m_nodes[std::size_t(index)];
    }

    // Forgets what was found below `index`: of equal keys the last one counts.
    void forget(int index) {
        for (const int path : m_paths.m_nodes[std::size_t(index)].below)
            m_values[std::size_t(path)].reset();
    }

    int childByKey(int parent, std::string_view key) const {
        const auto& byKey = m_paths.m_nodes[std::size_t(parent)].byKey;
        const auto at =
            std::lower_bound(byKey.begin(), byKey.end(), key,
                             [](const auto& entry, std::string_view wanted) { return entry.first < wanted; });
        return at != byKey.end() && at->first == key ? at->second : None;
    }

    // The children an array's element at `index` leads to: more than one where components read
    // as the same index ("1" and "01", or any two keys, which read as 0).
    std::pair<const std::pair<qint32, int>*, const std::pair<qint32, int>*>
    childrenByIndex(int parent, std::size_t index) const {
        const auto& byIndex = m_paths.m_nodes[std::size_t(parent)].byIndex;
        if (index > std::size_t(std::numeric_limits<qint32>::max()))
            return {nullptr, nullptr};
        const auto [first, last] =
            std::equal_range(byIndex.begin(), byIndex.end(), std::pair<qint32, int>(qint32(index), 0),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        return {byIndex.data() + (first - byIndex.begin()), byIndex.data() + (last - byIndex.begin())};
    }

    // A string's text, unescaped only where it holds an escape (which is then checked).
    static error_code stringText(ondemand::value& value, std::string_view& text) {
        const std::string_view token = value.raw_json_token();
        const std::size_t close = token.rfind('"');
        if (close == std::string_view::npos || close == 0)
            return simdjson::STRING_ERROR;
        if (std::memchr(token.data() + 1, '\\', close - 1) == nullptr) {
            ondemand::raw_json_string raw;
            text = token.substr(1, close - 1);
            return value.get_raw_json_string().get(raw);
        }
        return value.get_string().get(text);
    }

    static error_code keyText(ondemand::field& field, std::string_view& key) {
        const char* start = field.key().raw();
        const char* end = start;
        while (*end != '"' && *end != '\\')
            ++end;
        if (*end == '"') {
            key = std::string_view(start, std::size_t(end - start));
            return SUCCESS;
        }
        return field.unescaped_key().get(key);
    }

    error_code visit(ondemand::value value, int index, int depth) {
        const Node* at = node(index);
        if (at && !at->ends.empty()) {
            JsonValue whole;
            SIMDJSON_TRY(toJson(value, depth, whole));
            answer(whole, index);
            return SUCCESS;
        }
        ondemand::json_type type{};
        SIMDJSON_TRY(value.type().get(type));
        switch (type) {
        case ondemand::json_type::object: {
            if (++depth > MaximumJsonNestingDepth)
                return simdjson::DEPTH_ERROR;
            ondemand::object object;
            SIMDJSON_TRY(value.get_object().get(object));
            for (auto member : object) {
                ondemand::field field;
                SIMDJSON_TRY(std::move(member).get(field));
                std::string_view key;
                SIMDJSON_TRY(keyText(field, key));
                const int child = at ? childByKey(index, key) : None;
                if (child != None)
                    forget(child);
                SIMDJSON_TRY(visit(field.value(), child, depth));
            }
            return SUCCESS;
        }
        case ondemand::json_type::array: {
            if (++depth > MaximumJsonNestingDepth)
                return simdjson::DEPTH_ERROR;
            ondemand::array array;
            SIMDJSON_TRY(value.get_array().get(array));
            std::size_t position = 0;
            for (auto element : array) {
                ondemand::value item;
                SIMDJSON_TRY(std::move(element).get(item));
                const auto [first, last] =
                    at ? childrenByIndex(index, position++) : decltype(childrenByIndex(0, 0))();
                if (last - first > 1) {
                    // An element is read once: made whole, it answers every child it leads to.
                    JsonValue whole;
                    SIMDJSON_TRY(toJson(item, depth, whole));
                    for (auto child = first; child != last; ++child) {
                        forget(child->second);
                        answer(whole, child->second);
                    }
                } else {
                    SIMDJSON_TRY(visit(item, first == last ? None : first->second, depth));
                }
            }
            return SUCCESS;
        }
        case ondemand::json_type::string: {
            std::string_view text;
            return stringText(value, text);
        }
        case ondemand::json_type::number: {
            ondemand::number number;
            return value.get_number().get(number);
        }
        case ondemand::json_type::boolean: {
            bool flag = false;
            return value.get_bool().get(flag);
        }
        case ondemand::json_type::null: {
            bool null = false;
            SIMDJSON_TRY(value.is_null().get(null));
            return null ? SUCCESS : simdjson::N_ATOM_ERROR;
        }
        }
        return simdjson::INCORRECT_TYPE;
    }

    // The paths that end at or go on below node `index`, answered from its value made whole (as
    // the compact parse's JsonFeed::valueAt makes it).
    void answer(const JsonValue& whole, int index) {
        const Node& at = m_paths.m_nodes[std::size_t(index)];
        for (const int path : at.below) {
            const std::vector<int>& chain = m_paths.m_chains[std::size_t(path)];
            const JsonValue* found = &whole;
            for (std::size_t step = std::size_t(at.depth); found && step < chain.size(); ++step) {
                const Node& next = m_paths.m_nodes[std::size_t(chain[step])];
                if (found->is_object()) {
                    const auto member = found->find(next.key);
                    found = member == found->end() ? nullptr : &*member;
                } else if (found->is_array()) {
                    found = next.index >= 0 && std::size_t(next.index) < found->size()
                                ? &(*found)[std::size_t(next.index)]
                                : nullptr;
                } else {
                    found = nullptr;
                }
            }
            if (found)
                m_values[std::size_t(path)] = *found;
        }
    }

    static error_code toJson(ondemand::value value, int depth, JsonValue& out) {
        ondemand::json_type type{};
        SIMDJSON_TRY(value.type().get(type));
        switch (type) {
        case ondemand::json_type::object: {
            if (++depth > MaximumJsonNestingDepth)
                return simdjson::DEPTH_ERROR;
            out = JsonValue::object();
            ondemand::object object;
            SIMDJSON_TRY(value.get_object().get(object));
            for (auto member : object) {
                ondemand::field field;
                SIMDJSON_TRY(std::move(member).get(field));
                std::string_view key;
                SIMDJSON_TRY(keyText(field, key));
                // Assignment, as the compact parse's values have it: of equal keys the last
                // value wins, in the place of the first.
                JsonValue item;
                SIMDJSON_TRY(toJson(field.value(), depth, item));
                out[std::string(key)] = std::move(item);
            }
            return SUCCESS;
        }
        case ondemand::json_type::array: {
            if (++depth > MaximumJsonNestingDepth)
                return simdjson::DEPTH_ERROR;
            out = JsonValue::array();
            ondemand::array array;
            SIMDJSON_TRY(value.get_array().get(array));
            for (auto element : array) {
                ondemand::value item;
                SIMDJSON_TRY(std::move(element).get(item));
                JsonValue made;
                SIMDJSON_TRY(toJson(item, depth, made));
                out.push_back(std::move(made));
            }
            return SUCCESS;
        }
        case ondemand::json_type::string: {
            std::string_view text;
            SIMDJSON_TRY(stringText(value, text));
            out = std::string(text);
            return SUCCESS;
        }
        case ondemand::json_type::number: {
            ondemand::number number;
            SIMDJSON_TRY(value.get_number().get(number));
            switch (number.get_number_type()) {
            case ondemand::number_type::signed_integer: {
                // Integers without a sign are unsigned, as nlohmann reads them.
                const std::int64_t integer = number.get_int64();
                out = integer >= 0 ? JsonValue(std::uint64_t(integer)) : JsonValue(integer);
                return SUCCESS;
            }
            case ondemand::number_type::unsigned_integer:
                out = number.get_uint64();
                return SUCCESS;
            case ondemand::number_type::floating_point_number:
                out = number.get_double();
                return SUCCESS;
            }
            return simdjson::NUMBER_ERROR;
        }
        case ondemand::json_type::boolean: {
            bool flag = false;
            SIMDJSON_TRY(value.get_bool().get(flag));
            out = flag;
            return SUCCESS;
        }
        case ondemand::json_type::null: {
            bool null = false;
            SIMDJSON_TRY(value.is_null().get(null));
            out = nullptr;
            return null ? SUCCESS : simdjson::N_ATOM_ERROR;
        }
        }
        return simdjson::INCORRECT_TYPE;
    }

    const StreamedKeyPaths& m_paths;
    Values m_values;
};

std::optional<StreamedKeyPaths::Values> StreamedKeyPaths::values(const QByteArray& json) const {
    return Pass(*this).run(json);
}

} // namespace platform
