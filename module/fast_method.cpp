#include "module/fast_method.hpp"

#include <cstddef>

#include "module/internals.hpp"

namespace py = pybind11;

namespace kinetra::python {

namespace {

struct FastMethod {
    PyObject_HEAD
    PyObject* function;  // the pybind11 function
    PyObject* held;      // pybind11's instancemethod that held it in the class
    vectorcallfunc vectorcall;
    MethodCall call;     // how the function is called
};

PyTypeObject* fast_method_type = nullptr;

// Called with the instance as the first argument, exactly as a bound method
// would have passed it.
PyObject* fast_method_call(PyObject* self, PyObject* const* args, std::size_t nargsf,
                           PyObject* kwnames) {
    const auto* method = reinterpret_cast<FastMethod*>(self);
    return method->call(method->function, args, nargsf, kwnames);
}

// What pybind11's classes give for the instancemethod: the instancemethod
// itself from the class, a bound method of the function from an instance.
PyObject* fast_method_get(PyObject* self, PyObject* obj, PyObject*) {
    const auto* method = reinterpret_cast<FastMethod*>(self);
    if (obj == nullptr || obj == Py_None) {
        return Py_NewRef(method->held);
    }
    return PyMethod_New(method->function, obj);
}

PyObject* fast_method_doc(PyObject* self, void*) {
    return PyObject_GetAttrString(reinterpret_cast<FastMethod*>(self)->function, "__doc__");
}

PyObject* fast_method_name(PyObject* self, void*) {
    return PyObject_GetAttrString(reinterpret_cast<FastMethod*>(self)->function, "__name__");
}

int fast_method_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<FastMethod*>(self)->function);
    Py_VISIT(reinterpret_cast<FastMethod*>(self)->held);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int fast_method_clear(PyObject* self) {
    Py_CLEAR(reinterpret_cast<FastMethod*>(self)->function);
    Py_CLEAR(reinterpret_cast<FastMethod*>(self)->held);
    return 0;
}

void fast_method_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    fast_method_clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyMemberDef fast_method_members[] = {
    {"__func__", Py_T_OBJECT_EX, offsetof(FastMethod, function), Py_READONLY, nullptr},
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(FastMethod, vectorcall), Py_READONLY,
     nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef fast_method_getset[] = {
    {"__doc__", fast_method_doc, nullptr, nullptr, nullptr},
    {"__name__", fast_method_name, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot fast_method_slots[] = {
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(fast_method_get)},
    {Py_tp_traverse, reinterpret_cast<void*>(fast_method_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(fast_method_clear)},
    {Py_tp_dealloc, reinterpret_cast<void*>(fast_method_dealloc)},
    {Py_tp_members, fast_method_members},
    {Py_tp_getset, fast_method_getset},
    {0, nullptr},
};

PyType_Spec fast_method_spec = {
    "kinetra.method",
    sizeof(FastMethod),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
        Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    fast_method_slots,
};

}  // namespace

void call_as_method(py::handle cls, const char* name, MethodCall call) {
    if (fast_method_type == nullptr) {
        PyObject* type = PyType_FromSpec(&fast_method_spec);
        if (type == nullptr) {
            throw py::error_already_set();
        }
        fast_method_type = reinterpret_cast<PyTypeObject*>(type);  // kept for the process
    }
    // pybind11's holder of the method; its function is what every call ends up in.
    const py::object held = internals::method_holder(cls, name);
    auto* method = PyObject_GC_New(FastMethod, fast_method_type);
    if (method == nullptr) {
        throw py::error_already_set();
    }
    method->function = Py_NewRef(internals::method_function(held));
    method->held = Py_NewRef(held.ptr());
    method->vectorcall = fast_method_call;
    method->call = call;
    PyObject_GC_Track(method);
    py::object wrapper = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(method));
    if (PyObject_SetAttrString(cls.ptr(), name, wrapper.ptr()) != 0) {
        throw py::error_already_set();
    }
}

}  // namespace kinetra::python
