#include "platform/StreamedKeyPaths.h"

#include "platform/JsonKeyPath.h"
#include "platform/JsonPathQuery.h"
#include "platform/SimdjsonPadding.h"
#include "platform/ValueReadings.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <string_view>
#include <system_error>

namespace platform {

namespace {

namespace ondemand = simdjson::ondemand;
using simdjson::error_code;
using simdjson::SUCCESS;

// From this size on the search for a backslash takes longer than starting a thread for it.
constexpr qsizetype BesideSearchBytes = 4 * 1024 * 1024;

// Containers this deep go to the full parse, which words what happens at the limit.
constexpr int DeepestContainer = MaximumJsonNestingDepth - 2;

// A key or string as written, up to its closing quote; false when it holds an escape, which only
// unescaping reads (and checks). Stage one of the parse has made sure every string is closed.
bool plainText(const char* start, std::string_view& text) {
    const char* end = start;
    while (*end != '"' && *end != '\\')
        ++end;
    text = std::string_view(start, std::size_t(end - start));
    return *end == '"';
}

error_code keyOf(ondemand::field& field, std::string_view& key) {
    if (plainText(field.key().raw(), key))
        return SUCCESS;
    return field.unescaped_key().get(key);
}

// Calls `each(key, value)` for the members in order, up to the first error; without `readKeys`
// the key is left unread (and empty). Fields and values are used where the iteration holds them:
// a copy of each costs a stalled load per member.
template <class Each> error_code forEachMember(ondemand::object& object, bool readKeys, Each&& each) {
    for (auto member : object) {
        if (member.error())
            return member.error();
        ondemand::field& field = member.value_unsafe();
        std::string_view key;
        error_code error = readKeys ? keyOf(field, key) : SUCCESS;
        if (!error)
            error = each(key, field.value());
        if (error)
            return error;
    }
    return SUCCESS;
}

// The object or array `value` opens at `depth`, unless it would nest deeper than the pass reads.
error_code objectAt(ondemand::value& value, int depth, ondemand::object& object) {
    if (depth + 1 > DeepestContainer)
        return simdjson::DEPTH_ERROR;
    return value.get_object().get(object);
}

error_code arrayAt(ondemand::value& value, int depth, ondemand::array& array) {
    if (depth + 1 > DeepestContainer)
        return simdjson::DEPTH_ERROR;
    return value.get_array().get(array);
}

// A literal that starts with "n" must be "null" whole.
error_code readNull(ondemand::value& value) {
    bool null = false;
    if (const error_code error = value.is_null().get(null))
        return error;
    return null ? SUCCESS : simdjson::INCORRECT_TYPE;
}

// A number as nlohmann reads it: an integer without a sign is unsigned.
JsonValue numberValue(ondemand::number number) {
    switch (number.get_number_type()) {
    case ondemand::number_type::signed_integer:
        if (number.get_int64() >= 0)
            return JsonValue(std::uint64_t(number.get_int64()));
        return JsonValue(number.get_int64());
    case ondemand::number_type::unsigned_integer:
        return JsonValue(number.get_uint64());
    case ondemand::number_type::floating_point_number:
        break;
    }
    return JsonValue(number.get_double());
}

template <class Each> error_code forEachElement(ondemand::array& array, Each&& each) {
    for (auto item : array) {
        if (item.error())
            return item.error();
        if (const error_code error = each(item.value_unsafe()))
            return error;
    }
    return SUCCESS;
}

} // namespace

std::shared_ptr<const StreamedKeyPaths> StreamedKeyPaths::make(const QStringList& paths) {
    auto made = std::make_shared<StreamedKeyPaths>();
    made->m_paths = paths;
    made->m_nodes.reserve(std::size_t(paths.size()) * 2 + 1);
    made->m_nodes.emplace_back();
    for (qsizetype index = 0; index < paths.size(); ++index) {
        const QString& path = paths.at(index);
        if (JsonPathQuery::isQuery(path))
            return nullptr;
        const QByteArray text = path.toUtf8();
        int node = 0;
        for (const std::string_view key :
             JsonKeyPath::components(std::string_view(text.constData(), std::size_t(text.size())))) {
            const auto found = made->m_nodes[std::size_t(node)].members.find(key);
            if (found != made->m_nodes[std::size_t(node)].members.end()) {
                node = found->second;
                continue;
            }
            // No text the pass reads is this deep; the subtree walks stay shallow.
            if (made->m_nodes[std::size_t(node)].depth >= MaximumJsonNestingDepth)
                return nullptr;
            const int added = int(made->m_nodes.size());
            made->m_nodes.emplace_back();
            made->m_nodes.back().depth = made->m_nodes[std::size_t(node)].depth + 1;
            Node& parent = made->m_nodes[std::size_t(node)];
            parent.members.emplace(std::string(key), added);
            const qint32 position =
                ValueReadings::int32Reading(QString::fromUtf8(key.data(), qsizetype(key.size())));
            if (position >= 0)
                parent.elements.emplace_back(position, added);
            node = added;
        }
        if (node == 0)
            return nullptr;
        made->m_nodes[std::size_t(node)].endingPaths.push_back(int(index));
    }
    for (Node& node : made->m_nodes)
        std::sort(node.elements.begin(), node.elements.end());
    return made;
}

/// One pass: reads every value of the text, descends where a path goes and builds a JsonValue only
/// where one ends.
class StreamedKeyPaths::Pass {
  public:
    explicit Pass(const StreamedKeyPaths& paths)
        : m_paths(paths), m_values(std::size_t(paths.m_paths.size())), m_visited(paths.m_nodes.size()) {}

    std::optional<Values> run(const QByteArray& json) {
        // A byte order mark is the full parser's to refuse.
        if (json.startsWith("\xEF\xBB\xBF"))
            return std::nullopt;
        // simdjson reads up to SIMDJSON_PADDING bytes past the end.
        std::optional<simdjson::padded_string> copy;
        if (!hasSimdjsonPadding(json))
            copy.emplace(json.constData(), std::size_t(json.size()));
        const simdjson::padded_string_view text =
            copy ? simdjson::padded_string_view(*copy)
                 : simdjson::padded_string_view(json.constData(), std::size_t(json.size()),
                                                std::size_t(json.size()) + simdjson::SIMDJSON_PADDING);
        // Stage one of the parse has checked the UTF-8 and that every string is closed and free of
        // control characters: in a text without a backslash, strings need no further reading. In a
        // long text the search runs beside stage one, on a thread of its own.
        const auto hasBackslash = [&json] {
            return std::memchr(json.constData(), '\\', std::size_t(json.size())) != nullptr;
        };
        std::future<bool> searched;
        if (json.size() >= BesideSearchBytes) {
            try {
                searched = std::async(std::launch::async, hasBackslash);
            } catch (const std::system_error&) {
                // No thread to be had (the system's limit): the search runs here.
            }
        }
        if (!searched.valid())
            m_escapes = hasBackslash();
        ondemand::parser parser;
        ondemand::document document;
        const bool iterated = parser.iterate(text).get(document) == SUCCESS;
        if (searched.valid())
            m_escapes = searched.get();
        if (!iterated)
            return std::nullopt;
        ondemand::json_type type;
        if (document.type().get(type) != SUCCESS)
            return std::nullopt;
        error_code error = SUCCESS;
        if (type == ondemand::json_type::object) {
            ondemand::object object;
            error = document.get_object().get(object);
            if (!error)
                error = visitObject(object, 0);
        } else if (type == ondemand::json_type::array) {
            ondemand::array array;
            error = document.get_array().get(array);
            if (!error)
                error = visitArray(array, 0);
        } else {
            return std::nullopt;
        }
        // Past the top-level value the text must end.
        if (error || document.current_location().error() != simdjson::OUT_OF_BOUNDS)
            return std::nullopt;
        return std::move(m_values);
    }

  private:
    const Node& node(int index) const { return m_paths.m_nodes[std::size_t(index)]; }

    /// A value some path goes through or ends at; `index` is its node.
    error_code visit(ondemand::value& value, int index) {
        const Node& here = node(index);
        // Of equal keys the last counts: what an earlier one gave is forgotten.
        if (m_visited[std::size_t(index)])
            forEachPathBelow(index, [this](int path, int) { m_values[std::size_t(path)].reset(); });
        m_visited[std::size_t(index)] = true;
        if (!here.endingPaths.empty()) {
            JsonValue built;
            if (const error_code error = read(value, here.depth, &built))
                return error;
            answerFrom(built, index);
            return SUCCESS;
        }
        ondemand::json_type type;
        if (const error_code error = value.type().get(type))
            return error;
        if (type == ondemand::json_type::object) {
            ondemand::object object;
            if (const error_code error = objectAt(value, here.depth, object))
                return error;
            return visitObject(object, index);
        }
        if (type == ondemand::json_type::array) {
            ondemand::array array;
            if (const error_code error = arrayAt(value, here.depth, array))
                return error;
            return visitArray(array, index);
        }
        // A scalar before the paths end: they lead nowhere.
        return read(value, here.depth, nullptr);
    }

    error_code visitObject(ondemand::object& object, int index) {
        const Node& here = node(index);
        return forEachMember(object, true, [&](std::string_view key, ondemand::value& value) {
            const auto next = here.members.find(key);
            return next == here.members.end() ? read(value, here.depth + 1, nullptr)
                                              : visit(value, next->second);
        });
    }

    error_code visitArray(ondemand::array& array, int index) {
        const Node& here = node(index);
        auto next = here.elements.begin();
        qint32 position = 0;
        return forEachElement(array, [&](ondemand::value& element) {
            auto last = next;
            while (last != here.elements.end() && last->first == position)
                ++last;
            error_code error = SUCCESS;
            if (last == next) {
                error = read(element, here.depth + 1, nullptr);
            } else if (last - next == 1) {
                error = visit(element, next->second);
            } else {
                // Components such as "1" and "01" lead to the same element, which is read once.
                JsonValue built;
                error = read(element, here.depth + 1, &built);
                for (; !error && next != last; ++next)
                    answerFrom(built, next->second);
            }
            next = last;
            ++position;
            return error;
        });
    }

    /// The paths through `index`, answered from the value built there.
    void answerFrom(const JsonValue& built, int index) {
        const int depth = node(index).depth;
        forEachPathBelow(index, [&](int path, int ending) {
            const JsonValue* found = &built;
            if (ending != index)
                found =
                    JsonKeyPath::valueAt(built, JsonKeyPath::components(m_paths.m_paths.at(path)).mid(depth));
            m_values[std::size_t(path)] = found ? std::optional<JsonValue>(*found) : std::nullopt;
        });
    }

    /// Calls `each(path, node)` for the paths that end at `index` or beneath it, with their node.
    template <class Each> void forEachPathBelow(int index, const Each& each) const {
        for (int path : node(index).endingPaths)
            each(path, index);
        for (const auto& [key, child] : node(index).members)
            forEachPathBelow(child, each);
    }

    /// Reads `value` as far as the full parse would, to refuse what it refuses, and with `out`
    /// builds it as JsonFeed::toJsonValue does. Without `out` (a value no path wants) strings
    /// and keys are only taken, unless an escape could make them invalid.
    error_code read(ondemand::value& value, int depth, JsonValue* out) {
        ondemand::json_type type;
        if (const error_code error = value.type().get(type))
            return error;
        switch (type) {
        case ondemand::json_type::object: {
            ondemand::object object;
            if (const error_code error = objectAt(value, depth, object))
                return error;
            if (!out)
                return forEachMember(object, m_escapes, [&](std::string_view, ondemand::value& member) {
                    return read(member, depth + 1, nullptr);
                });
            *out = JsonValue::object();
            return forEachMember(object, true, [&](std::string_view key, ondemand::value& member) {
                JsonValue item;
                const error_code error = read(member, depth + 1, &item);
                // Assignment: of equal keys the last value wins, in the place of the first.
                if (!error)
                    (*out)[std::string(key)] = std::move(item);
                return error;
            });
        }
        case ondemand::json_type::array: {
            ondemand::array array;
            if (const error_code error = arrayAt(value, depth, array))
                return error;
            if (!out)
                return forEachElement(
                    array, [&](ondemand::value& element) { return read(element, depth + 1, nullptr); });
            *out = JsonValue::array();
            return forEachElement(array, [&](ondemand::value& element) {
                JsonValue item;
                const error_code error = read(element, depth + 1, &item);
                if (!error)
                    out->push_back(std::move(item));
                return error;
            });
        }
        case ondemand::json_type::string: {
            // The token runs from the opening quote to the next structural character.
            const std::string_view token = value.raw_json_token();
            if (!out && (!m_escapes || !std::memchr(token.data(), '\\', token.size()))) {
                // Taken, not left to the iteration's skipping: that reads a string followed by a
                // colon as a key and goes on over the value after it.
                ondemand::raw_json_string raw;
                return value.get_raw_json_string().get(raw);
            }
            std::string_view text;
            if (const error_code error = value.get_string().get(text))
                return error;
            if (out)
                *out = std::string(text);
            return SUCCESS;
        }
        case ondemand::json_type::number: {
            ondemand::number number;
            if (const error_code error = value.get_number().get(number))
                return error;
            if (out)
                *out = numberValue(number);
            return SUCCESS;
        }
        case ondemand::json_type::boolean: {
            bool truth = false;
            if (const error_code error = value.get_bool().get(truth))
                return error;
            if (out)
                *out = truth;
            return SUCCESS;
        }
        case ondemand::json_type::null:
            if (out)
                *out = nullptr;
            return readNull(value);
        }
        return simdjson::TAPE_ERROR;
    }

    const StreamedKeyPaths& m_paths;
    Values m_values;
    std::vector<bool> m_visited;
    bool m_escapes = true;
};

std::optional<StreamedKeyPaths::Values> StreamedKeyPaths::values(const QByteArray& json) const {
    return Pass(*this).run(json);
}

} // namespace platform
