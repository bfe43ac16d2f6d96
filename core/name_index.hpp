// A hash index of pattern names: open addressing with linear probing over a
// power-of-two array of small slots, at most half full. Each slot holds the
// position of a name in the indexed collection and 16 more bits of its hash,
// so a probe rarely reads a name that cannot match. The index holds no names:
// the caller says where the name of a position is, and a hit is always
// confirmed by comparing the whole name.
//
// Everything here is constexpr: the pack registry's index is built by the
// compiler, a PatternLibrary's when it is constructed, both with the same
// hash, so one hash of a wanted name serves both lookups.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

namespace kinetra {

namespace name_index_detail {

// `n` bytes (1 to 8) from `p` as a little-endian number, on every host and
// in constant evaluation alike.
constexpr std::uint64_t load_le(const char* p, std::size_t n) noexcept {
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        if (n == 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            return word;
        }
        if (n == 4) {
            std::uint32_t word;
            std::memcpy(&word, p, 4);
            return word;
        }
    }
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < n; ++i) {
        word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    }
    return word;
}

constexpr std::uint64_t mix(std::uint64_t h, std::uint64_t word) noexcept {
    h = (h ^ word) * 0xbf58476d1ce4e5b9u;
    return h ^ (h >> 31);
}

}  // namespace name_index_detail

// A 64-bit hash of a name's bytes; the same value at compile time and at run
// time, on every host. It reads the name eight bytes at a time (the last word
// overlapping the one before it) and mixes in the length, so a prefix, a
// one-byte change or a change of length all give another hash.
constexpr std::uint64_t name_hash(std::string_view name) noexcept {
    using name_index_detail::load_le;
    using name_index_detail::mix;
    const char* p = name.data();
    const std::size_t n = name.size();
    std::uint64_t h = 0x9e3779b97f4a7c15u * (n + 1);
    if (n >= 8) {
        std::size_t i = 0;
        for (; i + 8 < n; i += 8) {
            h = mix(h, load_le(p + i, 8));
        }
        h = mix(h, load_le(p + n - 8, 8));
    } else if (n >= 4) {
        h = mix(h, load_le(p, 4) | (load_le(p + n - 4, 4) << 32));
    } else if (n > 0) {
        h = mix(h, load_le(p, 1) | (load_le(p + n / 2, 1) << 8) | (load_le(p + n - 1, 1) << 16));
    }
    h = (h ^ (h >> 29)) * 0x94d049bb133111ebu;
    return h ^ (h >> 32);
}

struct NameSlot {
    std::uint16_t tag;       // the hash's top 16 bits
    std::uint16_t position;  // in the indexed collection; empty_position if free
};

inline constexpr std::uint16_t empty_position = std::numeric_limits<std::uint16_t>::max();
inline constexpr std::size_t max_indexed_names = empty_position;
inline constexpr std::size_t not_found = static_cast<std::size_t>(-1);

// Slots for `count` names: the smallest power of two at least twice `count`.
constexpr std::size_t name_slots_for(std::size_t count) noexcept {
    return std::bit_ceil(2 * (count == 0 ? 1 : count));
}

constexpr std::uint16_t name_tag(std::uint64_t hash) noexcept {
    return static_cast<std::uint16_t>(hash >> 48);
}

// The position whose name (name_at(position)) equals `name`, or not_found.
// `hash` is name_hash(name); `slots` is a non-empty power of two in size and
// has a free slot.
template <typename NameAt>
constexpr std::size_t find_name(std::span<const NameSlot> slots, std::string_view name,
                                std::uint64_t hash, NameAt&& name_at) noexcept {
    const std::size_t mask = slots.size() - 1;
    const std::uint16_t tag = name_tag(hash);
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        const NameSlot slot = slots[i];
        if (slot.position == empty_position) {
            return not_found;
        }
        if (slot.tag == tag && name_at(slot.position) == name) {
            return slot.position;
        }
    }
}

// Adds `position` under `name` unless a position of that name is there already;
// returns that earlier position, or not_found when `position` was added.
template <typename NameAt>
constexpr std::size_t insert_name(std::span<NameSlot> slots, std::string_view name,
                                  std::uint16_t position, NameAt&& name_at) noexcept {
    const std::uint64_t hash = name_hash(name);
    const std::size_t mask = slots.size() - 1;
    const std::uint16_t tag = name_tag(hash);
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        NameSlot& slot = slots[i];
        if (slot.position == empty_position) {
            slot = NameSlot{tag, position};
            return not_found;
        }
        if (slot.tag == tag && name_at(slot.position) == name) {
            return slot.position;
        }
    }
}

}  // namespace kinetra
