// kinetra_link: a Link session for kinetra's live clocks. A module of its own,
// apart from kinetra, because Ableton Link is under the GPL (see LICENSE);
// kinetra never imports it, kinetra_tools.live.link does when asked.
#include <pybind11/pybind11.h>

#include "link/register.hpp"

namespace py = pybind11;

PYBIND11_MODULE(kinetra_link, m, py::multiple_interpreters::not_supported()) {
    m.doc() = "Ableton Link session for kinetra's live clocks";
    kinetra_link::python::register_session(m);
}
