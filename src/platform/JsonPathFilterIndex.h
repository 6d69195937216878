#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

/// The elements of one array by the scalar value one singular relative query finds in each
/// ("@.id" → 17 → elements 3 and 40), so that a filter "[?@.id == 17]" over a long array looks its
/// elements up instead of testing every one. Built by JsonPathEvaluator on the first such filter
/// over the array; kept by the node adapters that remember (JsonTapeNodes) for as long as the
/// parsed feed lives.
struct JsonPathFilterIndex {
    bool built = false;
    /// Value key (see JsonPathEvaluator) → positions in the array, ascending.
    std::unordered_map<std::string, std::vector<std::uint32_t>> positions;
};

} // namespace platform
