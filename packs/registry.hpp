// The pack registry: every table-driven default pattern, in registry order,
// the name-ordered index and the hash index of its names. All three are
// constant data: the generator emits the registry and the ordered index at
// build time, and the compiler builds the hash index from the registry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "core/name_index.hpp"
#include "core/records.hpp"
#include "core/rudiments.hpp"
#include "packs/registry_size.hpp"  // generated: pack_count

namespace kinetra {

struct PackEntry {
    RudimentInfo info;
    SampleFunction* sampler;
};

extern const PackEntry pack_registry[pack_count];

// Registry positions ordered by name (bytewise; a proper prefix first).
extern const std::uint64_t pack_name_index[pack_count];

// The registry's names by hash (core/name_index.hpp), and the length of the
// longest of them: no longer name needs hashing to be known as no pack's.
static_assert(pack_count < max_indexed_names, "registry positions must fit a name slot");
inline constexpr std::size_t pack_name_slot_count = name_slots_for(pack_count);
extern const std::array<NameSlot, pack_name_slot_count> pack_name_slots;
extern const std::size_t pack_longest_name;

// Builds the hash index of `registry` (in constant evaluation, for the
// generated registry source). Two records of one name, or a record with the
// name of a built-in (which the lookup finds first), make it fail to compile.
constexpr std::array<NameSlot, pack_name_slot_count> index_pack_names(
    const PackEntry (&registry)[pack_count]) {
    std::array<NameSlot, pack_name_slot_count> slots{};
    slots.fill(NameSlot{0, empty_position});
    const auto name_at = [&](std::size_t position) { return registry[position].info.name; };
    for (std::size_t i = 0; i < pack_count; ++i) {
        if (builtin_position(registry[i].info.name) != no_builtin) {
            throw std::logic_error("a pack pattern has the name of a built-in");
        }
        if (insert_name(slots, registry[i].info.name, static_cast<std::uint16_t>(i), name_at) !=
            not_found) {
            throw std::logic_error("two pack patterns share a name");
        }
    }
    return slots;
}

constexpr std::size_t longest_pack_name(const PackEntry (&registry)[pack_count]) {
    std::size_t longest = 0;
    for (const PackEntry& entry : registry) {
        longest = entry.info.name.size() > longest ? entry.info.name.size() : longest;
    }
    return longest;
}

}  // namespace kinetra
