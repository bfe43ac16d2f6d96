#include "core/rudiments.hpp"
#include "module/register.hpp"

namespace kinetra::python {

// Each built-in is bound directly, one unnamed (positional-only) pip argument.
void register_rudiments(pybind11::module_& m) {
    for (std::size_t i = 0; i < builtin_count; ++i) {
        // The names are string literals, so data() is NUL-terminated and static.
        m.def(builtin_infos[i].name.data(), builtin_samplers[i]);
    }
}

}  // namespace kinetra::python
