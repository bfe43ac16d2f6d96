// class Offset3: a plain heap type. Instances hold three doubles and a weak
// reference list, nothing else: no __dict__, no garbage-collector header (they
// reference no other object), read-only members x, y and z, one method
// as_tuple. Calling the class raises the same TypeError a pybind11 class
// without constructor raises, so Python code cannot make an Offset3.
#include <cstddef>

#include "module/offset3.hpp"
#include "module/register.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

struct Offset3Object {
    PyObject_HEAD
    double x;
    double y;
    double z;
    PyObject* weakrefs;
};

// Created once by register_offset3 and kept for the life of the process (the
// module runs in one interpreter only and is never re-executed).
PyTypeObject* offset3_type = nullptr;

// A few freed instances kept for reuse: sampling in a loop makes and drops one
// Offset3 per call, and reusing the memory saves about 5 ns a call (measured
// with bench/bench_fastpaths.py). Only the type's own instances come here
// (a Python subclass can have none, and would go back to the allocator).
// Guarded by the GIL, like every call into the module.
constexpr int FREE_LIST_SIZE = 32;
Offset3Object* free_list[FREE_LIST_SIZE];
int free_count = 0;

PyObject* offset3_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyErr_Format(PyExc_TypeError, "%s: No constructor defined!", type->tp_name);
    return nullptr;
}

void offset3_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    if (reinterpret_cast<Offset3Object*>(self)->weakrefs != nullptr) {
        PyObject_ClearWeakRefs(self);
    }
    if (type == offset3_type && free_count < FREE_LIST_SIZE) {
        free_list[free_count++] = reinterpret_cast<Offset3Object*>(self);
    } else {
        type->tp_free(self);
    }
    Py_DECREF(type);
}

PyObject* offset3_as_tuple(PyObject* self, PyObject*) {
    const auto* o = reinterpret_cast<const Offset3Object*>(self);
    PyObject* x = PyFloat_FromDouble(o->x);
    PyObject* y = x ? PyFloat_FromDouble(o->y) : nullptr;
    PyObject* z = y ? PyFloat_FromDouble(o->z) : nullptr;
    if (z == nullptr) {
        Py_XDECREF(x);
        Py_XDECREF(y);
        return nullptr;
    }
    PyObject* tuple = PyTuple_New(3);
    if (tuple == nullptr) {
        Py_DECREF(x);
        Py_DECREF(y);
        Py_DECREF(z);
        return nullptr;
    }
    PyTuple_SET_ITEM(tuple, 0, x);
    PyTuple_SET_ITEM(tuple, 1, y);
    PyTuple_SET_ITEM(tuple, 2, z);
    return tuple;
}

// The text pybind11 would generate for the method, so help() reads the same.
PyMethodDef offset3_methods[] = {
    {"as_tuple", offset3_as_tuple, METH_NOARGS,
     "as_tuple(self: kinetra.Offset3) -> tuple[float, float, float]\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef offset3_members[] = {
    {"x", Py_T_DOUBLE, offsetof(Offset3Object, x), Py_READONLY, nullptr},
    {"y", Py_T_DOUBLE, offsetof(Offset3Object, y), Py_READONLY, nullptr},
    {"z", Py_T_DOUBLE, offsetof(Offset3Object, z), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(Offset3Object, weakrefs), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot offset3_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(offset3_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(offset3_dealloc)},
    {Py_tp_methods, offset3_methods},
    {Py_tp_members, offset3_members},
    {0, nullptr},
};

PyType_Spec offset3_spec = {
    "kinetra.Offset3",
    sizeof(Offset3Object),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    offset3_slots,
};

}  // namespace

PyObject* new_offset3(const Offset3& position) noexcept {
    // From the free list (memory the type's own tp_free would have released,
    // made an object again), or from the type's own tp_alloc; both hold a
    // reference to the type. Every field is set below.
    Offset3Object* o;
    if (free_count > 0) {
        o = free_list[--free_count];
        PyObject_Init(reinterpret_cast<PyObject*>(o), offset3_type);
    } else {
        o = reinterpret_cast<Offset3Object*>(offset3_type->tp_alloc(offset3_type, 0));
        if (o == nullptr) {
            return nullptr;
        }
    }
    o->x = position.x;
    o->y = position.y;
    o->z = position.z;
    o->weakrefs = nullptr;
    return reinterpret_cast<PyObject*>(o);
}

void register_offset3(py::module_& m) {
    PyObject* type = PyType_FromModuleAndSpec(m.ptr(), &offset3_spec, nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    // The module attribute holds one reference; the static keeps its own.
    offset3_type = reinterpret_cast<PyTypeObject*>(type);
    m.attr("Offset3") = py::reinterpret_borrow<py::object>(type);
}

}  // namespace kinetra::python
