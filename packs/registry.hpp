// The pack registry: every table-driven default pattern, in registry order,
// and the name index the default lookup searches. Both are constant data
// emitted by the table generator at build time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.hpp"
#include "packs/registry_size.hpp"  // generated: pack_count

namespace kinetra {

struct PackEntry {
    RudimentInfo info;
    SampleFunction* sampler;
};

extern const PackEntry pack_registry[pack_count];

// Registry positions ordered by name (bytewise; a proper prefix first).
extern const std::uint64_t pack_name_index[pack_count];

}  // namespace kinetra
