// Default lookup: the built-in names compared one by one (length, then bytes),
// then one probe of the pack names' hash index. Nothing allocates unless it throws.
#include "core/lookup.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/name_index.hpp"
#include "core/rudiments.hpp"
#include "packs/registry.hpp"

namespace kinetra {
namespace {

SampleFunction* find_builtin(std::string_view name) noexcept {
    const std::size_t position = builtin_position(name);
    return position == no_builtin ? nullptr : builtins[position].sampler;
}

// The registry position of the pack pattern called `name` (whose hash is
// `hash`), or not_found.
std::size_t find_pack(std::string_view name, std::uint64_t hash) noexcept {
    if (name.size() > pack_longest_name) {
        return not_found;
    }
    return find_name(pack_name_slots, name, hash,
                     [](std::size_t position) { return pack_registry[position].info.name; });
}

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 if the bytes
// there are not one (overlong forms, surrogates and code points past U+10FFFF
// are not well formed, as for Python's strict decoder).
std::size_t utf8_sequence_length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

// The name as it goes into an error message: well-formed UTF-8 unchanged,
// every other byte (and NUL, which would end the message) written as \xNN, so
// the message itself always decodes.
std::string printable_name(std::string_view name) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const std::size_t length = name[i] == '\0' ? 0 : utf8_sequence_length(name, i);
        if (length == 0) {
            const auto b = static_cast<unsigned char>(name[i]);
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
            ++i;
        } else {
            out.append(name.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace

SampleFunction* find_default(std::string_view name, std::uint64_t hash) noexcept {
    if (SampleFunction* builtin = find_builtin(name)) {
        return builtin;
    }
    const std::size_t position = find_pack(name, hash);
    return position == not_found ? nullptr : pack_registry[position].sampler;
}

SampleFunction* find_default(std::string_view name) noexcept {
    if (SampleFunction* builtin = find_builtin(name)) {
        return builtin;
    }
    if (name.size() > pack_longest_name) {
        return nullptr;
    }
    const std::size_t position = find_pack(name, name_hash(name));
    return position == not_found ? nullptr : pack_registry[position].sampler;
}

const RudimentInfo* find_default_record(std::string_view name) {
    const std::vector<RudimentInfo>& records = catalogue();
    if (const std::size_t position = builtin_position(name); position != no_builtin) {
        return &records[position];
    }
    if (name.size() > pack_longest_name) {
        return nullptr;
    }
    const std::size_t position = find_pack(name, name_hash(name));
    return position == not_found ? nullptr : &records[builtin_count + position];
}

void throw_unknown(std::string_view name) {
    throw std::invalid_argument("Unknown kinetra: " + printable_name(name));
}

SampleFunction* default_sampler(std::string_view name) {
    if (SampleFunction* found = find_default(name)) {
        return found;
    }
    throw_unknown(name);
}

Offset3 sample(std::string_view name, int pip) {
    if (SampleFunction* found = find_default(name)) {
        return found(pip);
    }
    throw_unknown(name);
}

const std::vector<RudimentInfo>& catalogue() {
    static const std::vector<RudimentInfo> records = [] {
        std::vector<RudimentInfo> list;
        list.reserve(builtin_count + pack_count);
        for (const Builtin& builtin : builtins) {
            list.push_back(builtin.info);
        }
        for (const PackEntry& entry : pack_registry) {
            list.push_back(entry.info);
        }
        return list;
    }();
    return records;
}

}  // namespace kinetra
