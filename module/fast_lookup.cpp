#include "module/fast_lookup.hpp"

#include <string_view>

#include "core/lookup.hpp"
#include "module/fast_method.hpp"
#include "module/internals.hpp"
#include "module/name_view.hpp"
#include "module/offset3.hpp"
#include "user/pattern_library.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

// ---- sample(name, pip_count) ---------------------------------------------------------

// A built-in function of the module like any other (its `self` is the
// module), in front of the pybind11 function, which takes every other call.
PyMethodDef sample_def = {"sample", nullptr, METH_FASTCALL | METH_KEYWORDS, nullptr};
PyObject* pybind_sample = nullptr;

PyObject* sample_fast(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::string_view name;
    int pip = 0;
    if (nargs == 2 && kwnames == nullptr && view_name(args[0], name) &&
        internals::compact_int(args[1], pip)) {
        if (SampleFunction* found = find_default(name)) {
            return new_offset3(found(pip));
        }
    }
    return PyObject_Vectorcall(pybind_sample, args, static_cast<std::size_t>(nargs), kwnames);
}

// ---- PatternLibrary.sample(name, pip_count) --------------------------------------------

PyTypeObject* library_type = nullptr;

// The library `self` holds, if it is a fully constructed PatternLibrary
// proper (a Python subclass goes the general way).
const PatternLibrary* library_of(PyObject* self) noexcept {
    if (Py_TYPE(self) != library_type) {
        return nullptr;
    }
    return static_cast<const PatternLibrary*>(internals::constructed_value(self, nullptr));
}

PyObject* library_sample_fast(PyObject* pybind_function, PyObject* const* args, std::size_t nargsf,
                              PyObject* kwnames) {
    std::string_view name;
    int pip = 0;
    if (PyVectorcall_NARGS(nargsf) == 3 && kwnames == nullptr && view_name(args[1], name) &&
        internals::compact_int(args[2], pip)) {
        if (const PatternLibrary* library = library_of(args[0])) {
            // A stored pattern is never empty, so sampling it cannot throw.
            if (const PatternRef found = library->find(name)) {
                return new_offset3(found.sample(pip));
            }
        }
    }
    return PyObject_Vectorcall(pybind_function, args, nargsf, kwnames);
}

}  // namespace

void serve_sample_fast(py::module_& m) {
    sample_def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(sample_fast));
    pybind_sample = internals::front_module_function(m, sample_def);
}

void serve_library_sample_fast(py::handle cls) {
    library_type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    call_as_method(cls, "sample", library_sample_fast);
}

}  // namespace kinetra::python
