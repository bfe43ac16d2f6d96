// Reading the format string of a Python buffer.
#pragma once

#include <bit>
#include <string_view>

namespace kinetra::python {

// "d" with no byte-order mark, or with one that means this machine's own
// order ("@", "=", and "<" or ">" as the case may be). A null format means
// unsigned bytes.
inline bool native_double(const char* format) noexcept {
    if (format == nullptr) {
        return false;
    }
    std::string_view f(format);
    const char own = std::endian::native == std::endian::little ? '<' : '>';
    if (f.size() == 2 && (f[0] == '@' || f[0] == '=' || f[0] == own)) {
        f.remove_prefix(1);
    }
    return f == "d";
}

}  // namespace kinetra::python
