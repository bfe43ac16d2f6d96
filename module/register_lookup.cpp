#include "core/lookup.hpp"
#include "module/convert.hpp"
#include "module/fast_lookup.hpp"
#include "module/name_view.hpp"
#include "module/register.hpp"

namespace py = pybind11;

namespace kinetra::python {

void register_lookup(py::module_& m) {
    m.def(
        "sample", [](NameView name, int pip) { return kinetra::sample(name.text, pip); },
        py::arg("name"), py::arg("pip_count"));
    // Sampled in loops: the everyday call without pybind11's dispatch.
    serve_sample_fast(m);
    m.def("catalogue", [] { return catalogue_to_list(kinetra::catalogue()); });
}

}  // namespace kinetra::python
