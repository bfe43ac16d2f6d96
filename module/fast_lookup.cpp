#include "module/fast_lookup.hpp"

#include <climits>
#include <string_view>

#include "core/lookup.hpp"
#include "module/fast_method.hpp"
#include "module/offset3.hpp"
#include "user/pattern_library.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

// A str (as UTF-8) or bytes name, viewed in place as NameView views it;
// false for everything else. A bytearray is left to NameView, which copies it.
bool view_name(PyObject* object, std::string_view& name) noexcept {
    if (PyUnicode_Check(object)) {
        Py_ssize_t size = -1;
        const char* bytes = PyUnicode_AsUTF8AndSize(object, &size);
        if (bytes == nullptr) {
            PyErr_Clear();  // not encodable: pybind11 refuses it with TypeError
            return false;
        }
        name = std::string_view(bytes, static_cast<std::size_t>(size));
        return true;
    }
    if (PyBytes_Check(object)) {
        name = std::string_view(PyBytes_AS_STRING(object),
                                static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
        return true;
    }
    return false;
}

// An int proper held in one internal digit (|pip| < 2**30 on the usual
// builds), so reading it runs no Python code and cannot fail.
bool small_pip(PyObject* object, int& pip) noexcept {
    if (!PyLong_CheckExact(object)) {
        return false;
    }
    auto* number = reinterpret_cast<PyLongObject*>(object);
    if (!PyUnstable_Long_IsCompact(number)) {
        return false;
    }
    const Py_ssize_t value = PyUnstable_Long_CompactValue(number);
    if (value < INT_MIN || value > INT_MAX) {
        return false;
    }
    pip = static_cast<int>(value);
    return true;
}

// ---- sample(name, pip_count) ---------------------------------------------------------

// A built-in function of the module like any other (its `self` is the
// module), with the docstring of the pybind11 function it stands in front
// of. Both, and the docstring, are kept for the life of the process and
// never freed: the module body runs once, in one interpreter, and a late
// reader during shutdown still finds them.
PyMethodDef sample_def = {"sample", nullptr, METH_FASTCALL | METH_KEYWORDS, nullptr};
PyObject* pybind_sample = nullptr;

PyObject* sample_fast(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::string_view name;
    int pip = 0;
    if (nargs == 2 && kwnames == nullptr && view_name(args[0], name) && small_pip(args[1], pip)) {
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
    auto* instance = reinterpret_cast<py::detail::instance*>(self);
    const py::detail::value_and_holder held = instance->get_value_and_holder(nullptr, false);
    if (!held || !held.holder_constructed()) {
        return nullptr;
    }
    return held.value_ptr<PatternLibrary>();
}

PyObject* library_sample_fast(PyObject* pybind_function, PyObject* const* args, std::size_t nargsf,
                              PyObject* kwnames) {
    std::string_view name;
    int pip = 0;
    if (PyVectorcall_NARGS(nargsf) == 3 && kwnames == nullptr && view_name(args[1], name) &&
        small_pip(args[2], pip)) {
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
    py::object pybind_function = m.attr("sample");
    // The text is the UTF-8 form of the docstring object, which is kept.
    py::str doc = pybind_function.attr("__doc__");
    const char* text = PyUnicode_AsUTF8(doc.ptr());
    if (text == nullptr) {
        throw py::error_already_set();
    }
    sample_def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(sample_fast));
    sample_def.ml_doc = text;
    py::object fast = py::reinterpret_steal<py::object>(
        PyCMethod_New(&sample_def, m.ptr(), m.attr("__name__").ptr(), nullptr));
    if (!fast) {
        throw py::error_already_set();
    }
    m.attr("sample") = fast;
    pybind_sample = pybind_function.release().ptr();
    static_cast<void>(doc.release());
}

void serve_library_sample_fast(py::handle cls) {
    library_type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    call_as_method(cls, "sample", library_sample_fast);
}

}  // namespace kinetra::python
