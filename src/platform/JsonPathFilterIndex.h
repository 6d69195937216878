#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace platform {

/// The elements of one array by a hash of the scalar value one singular relative query finds in
/// each ("@.id" → hash(17) → elements 3 and 40), so that a filter "[?@.id == 17]" over a long array
/// tests only the elements whose value hashes alike instead of every one. Built by
/// JsonPathEvaluator on the first such filter over the array; kept by the node adapters that
/// remember (JsonTapeNodes) for as long as the parsed feed lives. An open-addressing table with
/// the positions of one hash chained in order: no allocation per element.
class JsonPathFilterIndex {
  public:
    bool isBuilt() const { return !m_slots.empty(); }
    void startBuilding(std::size_t length) {
        m_slots.assign(std::bit_ceil(std::max<std::size_t>(2 * length, 8)), Slot{});
        m_next.assign(length, None);
    }
    /// Positions must come in ascending order.
    void add(std::uint64_t valueHash, std::uint32_t position) {
        Slot& slot = slotOf(valueHash);
        if (slot.first == None) {
            slot = Slot{valueHash, position, position};
        } else {
            m_next[slot.last] = position;
            slot.last = position;
        }
    }
    /// `visit(position)` for each position whose value hashes to `valueHash`, ascending, until it
    /// returns false.
    template <typename Visit> bool forEachPosition(std::uint64_t valueHash, Visit&& visit) {
        for (std::uint32_t position = slotOf(valueHash).first; position != None; position = m_next[position])
            if (!visit(position))
                return false;
        return true;
    }

  private:
    static constexpr std::uint32_t None = std::numeric_limits<std::uint32_t>::max();
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t first = None;
        std::uint32_t last = None;
    };
    /// The slot of `hash`, or the empty one where it would go.
    Slot& slotOf(std::uint64_t hash) {
        const std::size_t mask = m_slots.size() - 1;
        std::uint64_t mixed = hash ^ (hash >> 33); // spread the bits the mask keeps
        mixed *= 0xFF51AFD7ED558CCDULL;
        mixed ^= mixed >> 33;
        for (std::size_t i = std::size_t(mixed) & mask;; i = (i + 1) & mask)
            if (m_slots[i].first == None || m_slots[i].hash == hash)
                return m_slots[i];
    }

    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_next; ///< position → the next one of the same hash
};

} // namespace platform
