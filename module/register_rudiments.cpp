#include "core/rudiments.hpp"
#include "module/register.hpp"

namespace kinetra::python {

// Each built-in is bound directly, one unnamed (positional-only) pip argument,
// in the order of the table.
void register_rudiments(pybind11::module_& m) {
    for (const Builtin& builtin : builtins) {
        // The names are string literals, so data() is NUL-terminated and static.
        m.def(builtin.info.name.data(), builtin.sampler);
    }
}

}  // namespace kinetra::python
