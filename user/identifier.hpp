// The naming rule shared by user patterns, recordings and recording axes:
// 1 to 128 bytes, an ASCII lower-case letter first, then only lower-case
// letters, digits and underscores. Any byte of 0x80 or above is refused, so a
// name holding a non-ASCII character never passes.
#pragma once

#include <cstddef>
#include <string_view>

namespace kinetra {

inline constexpr std::size_t MAX_IDENTIFIER_BYTES = 128;

constexpr bool is_identifier(std::string_view text) noexcept {
    if (text.empty() || text.size() > MAX_IDENTIFIER_BYTES) {
        return false;
    }
    if (text.front() < 'a' || text.front() > 'z') {
        return false;
    }
    for (const char c : text) {
        const bool lower = c >= 'a' && c <= 'z';
        const bool digit = c >= '0' && c <= '9';
        if (!lower && !digit && c != '_') {
            return false;
        }
    }
    return true;
}

}  // namespace kinetra
