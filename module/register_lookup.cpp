#include "core/lookup.hpp"
#include "module/convert.hpp"
#include "module/name_view.hpp"
#include "module/register.hpp"
#include "module/sample_many.hpp"

namespace py = pybind11;

namespace kinetra::python {

void register_lookup(py::module_& m) {
    m.def(
        "sample", [](NameView name, int pip) { return kinetra::sample(name.text, pip); },
        py::arg("name"), py::arg("pip_count"));
    m.def("catalogue", [] { return catalogue_to_list(kinetra::catalogue()); });
    m.def(
        "sample_many",
        [](NameView name, PipArray& pips, OutArg out) {
            RowsTarget rows(out, pips.size());
            return rows.fill(RowSource{kinetra::default_sampler(name.text), {}}, pips);
        },
        py::arg("name"), py::arg("pips"), py::arg("out") = py::none());
}

}  // namespace kinetra::python
