// The front door to every default pattern: built-ins first, then the packs.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/records.hpp"

namespace kinetra {

// Evaluates the default pattern called `name` at `pip`.
// Throws std::invalid_argument("Unknown kinetra: " + name) for an unknown name.
Offset3 sample(std::string_view name, int pip);

// The sample function of the default pattern called `name`: the lookup of
// sample(), done once, for a caller that samples the pattern many times.
// Throws std::invalid_argument("Unknown kinetra: " + name) for an unknown name.
SampleFunction* default_sampler(std::string_view name);

// The shared default catalogue: the built-ins, then every pack pattern in
// registry order. Built on first call, constant afterwards.
const std::vector<RudimentInfo>& catalogue();

// Finding a default once and sampling it many times: the sample function of
// the default pattern called `name`, or null when no default has that name.
// Exact, case-sensitive match of the whole name; allocates nothing.
SampleFunction* find_default(std::string_view name) noexcept;

// The same for a caller that already holds name_hash(name)
// (core/name_index.hpp), such as a PatternLibrary that looked in its own
// index first.
SampleFunction* find_default(std::string_view name, std::uint64_t hash) noexcept;

// The default catalogue's record of `name` (a reference into catalogue()),
// or null when no default has that name.
const RudimentInfo* find_default_record(std::string_view name);

// Throws what sample() throws for a name no pattern has: std::invalid_argument
// with "Unknown kinetra: " and the name (bytes that are not well-formed
// UTF-8, and NUL, written as \xNN).
[[noreturn]] void throw_unknown(std::string_view name);

}  // namespace kinetra
