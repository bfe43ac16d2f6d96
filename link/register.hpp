// One registration function per Python class of kinetra_link.
#pragma once

#include <pybind11/pybind11.h>

namespace kinetra_link::python {

void register_session(pybind11::module_& m);  // class Link

}  // namespace kinetra_link::python
