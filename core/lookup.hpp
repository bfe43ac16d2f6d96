// The front door to every default pattern: built-ins first, then the packs.
#pragma once

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

}  // namespace kinetra
