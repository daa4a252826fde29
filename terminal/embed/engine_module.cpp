// velmora5._engine: terminal64's engine inside the Python process. Private to
// the package: velmora5.sim.embedded() is its one user. An Engine is a
// stepped terminal (embedded_terminal.h); attach() routes velmora5's
// connection through it (the module's carrier hook), exchange() serves the
// stepped-clock helpers' requests. Everything runs in the calling thread
// with the interpreter lock held, so calls from several threads take turns.
// No C++ exception leaves a function here: each becomes a Python exception.
#include <Python.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "src/link/carrier.h"
#include "src/module/pyref.h"
#include "src/wire/text.h"
#include "terminal/server/embedded_terminal.h"
#include "terminal/server/fault_hook.h"
#include "terminal/server/settings_table.h"

namespace vl5::terminal::embed {

namespace {

using py::PyRef;
using server::EmbeddedTerminal;

struct EngineObject {
  PyObject_HEAD EmbeddedTerminal* terminal;  // owned; released in EngineDealloc
};

// The engine velmora5 is attached to holds a reference here, so that it
// outlives its attachment even when the script drops its own.
PyObject* g_attached = nullptr;

EngineObject* AsEngine(PyObject* self) { return reinterpret_cast<EngineObject*>(self); }

// Runs `body`; a C++ exception becomes MemoryError or RuntimeError.
template <typename Body>
PyObject* Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::exception& failure) {
    PyErr_Format(PyExc_RuntimeError, "embedded engine: %s", failure.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "embedded engine: unexpected failure");
  }
  return nullptr;
}

bool Utf8Of(PyObject* text, const char* what, std::string* out) {
  if (!PyUnicode_Check(text)) {
    PyErr_Format(PyExc_TypeError, "%s must be str, not %.100s", what, Py_TYPE(text)->tp_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) return false;
  out->assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool ArgsOf(PyObject* sequence, std::vector<std::string>* args) {
  PyRef items = PyRef::Steal(PySequence_Fast(sequence, "args must be a sequence of str"));
  if (!items) return false;
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < n; ++i) {
    std::string arg;
    if (!Utf8Of(PySequence_Fast_GET_ITEM(items.get(), i), "every argument", &arg)) return false;
    args->push_back(std::move(arg));
  }
  return true;
}

const link::CarrierApi* ModuleHooks() {
  // Taken from the module itself: the package does not keep _core as an attribute.
  PyRef core = PyRef::Steal(PyImport_ImportModule("velmora5._core"));
  if (!core) return nullptr;
  PyRef capsule = PyRef::Steal(PyObject_GetAttrString(core.get(), "_carrier_api"));
  if (!capsule) return nullptr;
  auto* api = static_cast<const link::CarrierApi*>(PyCapsule_GetPointer(capsule.get(), link::kCarrierCapsule));
  if (api == nullptr) return nullptr;
  if (api->version != link::kCarrierApiVersion) {
    PyErr_SetString(PyExc_ImportError, "velmora5._core and velmora5._engine come from different builds");
    return nullptr;
  }
  return api;
}

bool OwnedHere(EmbeddedTerminal* terminal) {
  if (terminal->OwnedByThisProcess()) return true;
  PyErr_SetString(PyExc_RuntimeError,
                  "this embedded engine belongs to the process that made it, not to a process forked from it");
  return false;
}

// ---- Engine ---------------------------------------------------------------------

PyObject* EngineNew(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* kKeywords[] = {"args", "ini", "folder", nullptr};
  PyObject* arg_list = nullptr;
  PyObject* ini = Py_None;
  PyObject* folder = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OU:Engine", const_cast<char**>(kKeywords), &arg_list, &ini,
                                   &folder)) {
    return nullptr;
  }
  return Guarded([&]() -> PyObject* {
    std::vector<std::string> settings;
    std::string ini_text = ini == Py_None ? DefaultIniText() : std::string();
    std::string folder_text;
    if (!ArgsOf(arg_list, &settings) || (ini != Py_None && !Utf8Of(ini, "ini", &ini_text)) ||
        (folder != nullptr && !Utf8Of(folder, "folder", &folder_text))) {
      return nullptr;
    }
    server::ArmFaultFromEnvironment();
    std::string error;
    std::unique_ptr<EmbeddedTerminal> terminal =
        EmbeddedTerminal::Create(settings, ini_text, wire::Utf8ToUtf16(folder_text), &error);
    if (!terminal) {
      PyErr_SetString(PyExc_ValueError, error.c_str());
      return nullptr;
    }
    PyRef self = PyRef::Steal(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    AsEngine(self.get())->terminal = terminal.release();
    return self.release();
  });
}

void EngineDealloc(PyObject* self) {
  delete AsEngine(self)->terminal;  // never attached here: the attachment holds a reference
  Py_TYPE(self)->tp_free(self);
}

PyObject* EngineAttach(PyObject* self, PyObject*) {
  EmbeddedTerminal* terminal = AsEngine(self)->terminal;
  if (!OwnedHere(terminal)) return nullptr;
  const link::CarrierApi* api = ModuleHooks();
  if (api == nullptr) return nullptr;
  if (!api->attach(terminal->carrier())) {
    PyErr_SetString(PyExc_RuntimeError,
                    "velmora5 is already attached to an embedded engine: one engine at a time per process");
    return nullptr;
  }
  Py_INCREF(self);
  g_attached = self;
  Py_RETURN_NONE;
}

PyObject* EngineDetach(PyObject* self, PyObject*) {
  if (g_attached != self) Py_RETURN_FALSE;
  const link::CarrierApi* api = ModuleHooks();
  if (api == nullptr) return nullptr;
  api->detach(AsEngine(self)->terminal->carrier());
  g_attached = nullptr;
  Py_DECREF(self);  // the attachment's reference; the caller still holds one
  Py_RETURN_TRUE;
}

PyObject* EngineExchange(PyObject* self, PyObject* frame) {
  EmbeddedTerminal* terminal = AsEngine(self)->terminal;
  if (!OwnedHere(terminal)) return nullptr;
  Py_buffer view;
  if (PyObject_GetBuffer(frame, &view, PyBUF_SIMPLE) < 0) return nullptr;
  std::unique_ptr<Py_buffer, void (*)(Py_buffer*)> held(&view, PyBuffer_Release);
  return Guarded([&]() -> PyObject* {
    server::InProcessConnection& control = terminal->control();
    const bool ok =
        terminal->Write(control, static_cast<const std::uint8_t*>(view.buf), static_cast<std::size_t>(view.len));
    PyRef reply = PyRef::Steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(control.Pending())));
    if (!reply) return nullptr;
    control.Read(reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(reply.get())), control.Pending());
    if (!ok) {
      control.Reset();  // the next exchange starts on a fresh connection, as over a pipe
      PyErr_SetString(PyExc_ConnectionError, "the embedded engine dropped a malformed request");
      return nullptr;
    }
    return reply.release();
  });
}

PyObject* EngineStats(PyObject* self, PyObject*) {
  const EmbeddedTerminal* terminal = AsEngine(self)->terminal;
  return Py_BuildValue("(KK)", static_cast<unsigned long long>(terminal->writes()),
                       static_cast<unsigned long long>(terminal->busy_ns()));
}

PyMethodDef g_engine_methods[] = {
    {"attach", EngineAttach, METH_NOARGS,
     "attach($self, /)\n--\n\nRoute velmora5's connection through this engine; initialize() then connects to it."},
    {"detach", EngineDetach, METH_NOARGS,
     "detach($self, /)\n--\n\nClose velmora5's connection to this engine and restore the pipe. False when not "
     "attached."},
    {"exchange", EngineExchange, METH_O,
     "exchange($self, frame, /)\n--\n\nServe whole request frames on the control connection; returns the reply bytes."},
    {"stats", EngineStats, METH_NOARGS,
     "stats($self, /)\n--\n\n(requests written, nanoseconds spent serving them) since the engine was made."},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject g_engine_type = {PyVarObject_HEAD_INIT(nullptr, 0)};

// ---- module -----------------------------------------------------------------------

PyObject* DefaultIni(PyObject*, PyObject*) {
  return Guarded([]() -> PyObject* {
    const std::string text = DefaultIniText();
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
  });
}

PyMethodDef g_module_methods[] = {
    {"default_ini", DefaultIni, METH_NOARGS,
     "default_ini($module, /)\n--\n\nThe terminal.ini text a new terminal starts with."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT,
    "_engine",
    "terminal64's engine inside the Python process (private).",
    -1,
    g_module_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* CreateModule() {
  g_engine_type.tp_name = "velmora5._engine.Engine";
  g_engine_type.tp_basicsize = sizeof(EngineObject);
  g_engine_type.tp_flags = Py_TPFLAGS_DEFAULT;
  g_engine_type.tp_doc = "Engine(args, ini=None, folder='')\n--\n\nA stepped terminal64 inside this process.";
  g_engine_type.tp_new = EngineNew;
  g_engine_type.tp_dealloc = EngineDealloc;
  g_engine_type.tp_methods = g_engine_methods;
  if (PyType_Ready(&g_engine_type) < 0) return nullptr;
  PyRef module = PyRef::Steal(PyModule_Create(&g_module));
  if (!module) return nullptr;
  Py_INCREF(&g_engine_type);
  if (PyModule_AddObject(module.get(), "Engine", reinterpret_cast<PyObject*>(&g_engine_type)) < 0) {
    Py_DECREF(&g_engine_type);
    return nullptr;
  }
  return module.release();
}

}  // namespace

}  // namespace vl5::terminal::embed

PyMODINIT_FUNC PyInit__engine() { return vl5::terminal::embed::CreateModule(); }
