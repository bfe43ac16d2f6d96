// kinetra_link: a Link session for kinetra's live clocks. A module of its own,
// apart from kinetra, because Ableton Link is under the GPL (see LICENSE);
// kinetra never imports it, kinetra_tools.live.link does when asked.
#include <pybind11/pybind11.h>

#include "link/register.hpp"
#include "link/session.hpp"

namespace py = pybind11;

PYBIND11_MODULE(kinetra_link, m, py::multiple_interpreters::not_supported()) {
    m.doc() = "Ableton Link session for kinetra's live clocks";
    // Link's bounds, for callers to check against before they join.
    m.attr("MIN_TEMPO") = kinetra_link::MIN_TEMPO;
    m.attr("MAX_TEMPO") = kinetra_link::MAX_TEMPO;
    m.attr("MIN_QUANTUM") = kinetra_link::MIN_QUANTUM;
    m.attr("MAX_QUANTUM") = kinetra_link::MAX_QUANTUM;
    kinetra_link::python::register_session(m);
}
