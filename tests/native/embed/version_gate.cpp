// An embedding interpreter that reports a version string of our choosing, so
// the module's import-time version check can be seen from the outside.
//
//   version_gate MODULE_DIR VERSION EXPECTED
//
// Imports kinetra from MODULE_DIR and compares the outcome with EXPECTED:
// "ok" for a clean import, otherwise the exact ImportError message.
#include <Python.h>

#include <cstdio>
#include <string>

namespace {
const char* reported_version = "";
}

// Defined in the executable, this wins over the interpreter library's own
// definition when the extension module resolves the symbol.
extern "C" const char* Py_GetVersion(void) { return reported_version; }

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODULE_DIR VERSION EXPECTED\n", argv[0]);
        return 2;
    }
    reported_version = argv[2];
    const std::string expected = argv[3];

    Py_Initialize();
    PyObject* globals = PyDict_New();
    PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    PyDict_SetItemString(globals, "module_dir", PyUnicode_FromString(argv[1]));
    const char* code =
        "import sys\n"
        "sys.path.insert(0, module_dir)\n"
        "try:\n"
        "    import kinetra\n"
        "    outcome = 'ok'\n"
        "except ImportError as error:\n"
        "    outcome = str(error)\n";
    PyObject* ran = PyRun_String(code, Py_file_input, globals, globals);
    if (ran == nullptr) {
        PyErr_Print();
        return 1;
    }
    const char* outcome = PyUnicode_AsUTF8(PyDict_GetItemString(globals, "outcome"));
    const bool matches = outcome != nullptr && expected == outcome;
    std::printf("version %s: %s\n", argv[2], outcome ? outcome : "<no outcome>");
    if (!matches) {
        std::printf("expected: %s\n", expected.c_str());
    }
    return matches ? 0 : 1;
}
