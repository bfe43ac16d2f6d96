// Default lookup: the built-in names by a switch on length, then one lower-bound
// binary search over the pack name index. Nothing allocates unless it throws.
#include "core/lookup.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/rudiments.hpp"
#include "packs/registry.hpp"

namespace kinetra {
namespace {

SampleFunction* find_builtin(std::string_view name) {
    switch (name.size()) {
        case 4:
            if (name == "sway") return sway;
            if (name == "flam") return flam;
            if (name == "drag") return drag;
            break;
        case 5:
            if (name == "helix") return helix;
            break;
        case 6:
            if (name == "bounce") return bounce;
            if (name == "circle") return circle;
            break;
        case 8:
            if (name == "box_step") return box_step;
            break;
        case 10:
            if (name == "step_touch") return step_touch;
            break;
        case 12:
            if (name == "figure_eight") return figure_eight;
            break;
        case 16:
            if (name == "mirel_background") return mirel_background;
            if (name == "five_stroke_roll") return five_stroke_roll;
            break;
        case 17:
            if (name == "single_paradiddle") return single_paradiddle;
            break;
        case 18:
            if (name == "single_stroke_roll") return single_stroke_roll;
            if (name == "double_stroke_roll") return double_stroke_roll;
            break;
        case 20:
            if (name == "multiple_bounce_roll") return multiple_bounce_roll;
            break;
        default:
            break;
    }
    return nullptr;
}

SampleFunction* find_pack(std::string_view name) {
    const std::uint64_t* end = pack_name_index + pack_count;
    const std::uint64_t* slot = std::lower_bound(
        pack_name_index, end, name,
        [](std::uint64_t position, std::string_view wanted) { return pack_registry[position].info.name < wanted; });
    if (slot == end || pack_registry[*slot].info.name != name) {
        return nullptr;
    }
    return pack_registry[*slot].sampler;
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

Offset3 sample(std::string_view name, int pip) {
    if (SampleFunction* builtin = find_builtin(name)) {
        return builtin(pip);
    }
    if (SampleFunction* packed = find_pack(name)) {
        return packed(pip);
    }
    throw std::invalid_argument("Unknown kinetra: " + printable_name(name));
}

SampleFunction* default_sampler(std::string_view name) {
    if (SampleFunction* builtin = find_builtin(name)) {
        return builtin;
    }
    if (SampleFunction* packed = find_pack(name)) {
        return packed;
    }
    throw std::invalid_argument("Unknown kinetra: " + printable_name(name));
}

const std::vector<RudimentInfo>& catalogue() {
    static const std::vector<RudimentInfo> records = [] {
        std::vector<RudimentInfo> list;
        list.reserve(builtin_count + pack_count);
        list.insert(list.end(), builtin_infos.begin(), builtin_infos.end());
        for (const PackEntry& entry : pack_registry) {
            list.push_back(entry.info);
        }
        return list;
    }();
    return records;
}

}  // namespace kinetra
