// The execution step of the module definition and the function's documentation text.
#include "module/module_def.hpp"

#include "module/errors.hpp"
#include "module/interned.hpp"
#include "module/py_ref.hpp"

#if !defined(TC_VERSION)
#error "TC_VERSION (the package's version, a string literal) is set by the build"
#endif

namespace tc::module {

const char kColumnarizeDoc[] =
    "columnarize(payload, min_rows=20)\n"
    "--\n"
    "\n"
    "Columnarize a row-oriented JSON payload (bytes or str), GIL released\n"
    "for the duration of the transform.\n"
    "\n"
    "Args:\n"
    "    payload: UTF-8 JSON bytes/str encoding a `list[dict]` of rows.\n"
    "    min_rows: Accepted for parity with the Python codec's signature;\n"
    "        not re-checked here (the Python caller already applied the\n"
    "        guard before calling this function).\n"
    "\n"
    "Returns:\n"
    "    UTF-8 JSON bytes encoding `{\"columns\", \"rows\", \"constants\"}`.\n"
    "\n"
    "Panic safety: the transform `columnarize_json` runs under fault\n"
    "containment, so an unexpected internal fault surfaces as an ordinary\n"
    "`RuntimeError` and memory exhaustion as `MemoryError`, never as an\n"
    "exception outside `Exception` that would silently bypass the\n"
    "`except Exception:` guard of the caller `columnar` and break the\n"
    "\"a broken codec must never break a tool call\" contract. The\n"
    "containment does not protect against a stack overflow, which aborts\n"
    "the process unconditionally and cannot be caught by any mechanism\n"
    "\u2014 a residual, documented limitation.";

namespace {

// For an interpreter operation that reported failure: false, with an exception set.
bool failed() noexcept {
  ensure_exception_set();
  return false;
}

// New reference: the module's export list, m.__all__ (a list), made and set when `m`
// (borrowed) has none. nullptr with an exception set.
PyObject* export_list(PyObject* m) noexcept {
  PyObject* key = interned(Name::dunder_all);
  if (key == nullptr) return nullptr;
  PyRef all(PyObject_GetAttr(m, key));
  if (all) {
    if (PyList_Check(all.get())) return all.release();
    raise_not_instance(all.get(), "list");
    return nullptr;
  }
  ensure_exception_set();
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
  PyErr_Clear();
  PyRef fresh(PyList_New(0));
  if (!fresh || PyObject_SetAttr(m, key, fresh.get()) < 0) {
    ensure_exception_set();
    return nullptr;
  }
  return fresh.release();
}

// New reference: the function object for `function`, owned by `m` (both borrowed), with the
// module's name as __module__. nullptr with an exception set.
PyObject* make_function(PyObject* m, PyMethodDef* function) noexcept {
  const PyRef module_name(PyModule_GetNameObject(m));
  PyObject* made = module_name ? PyCMethod_New(function, m, module_name.get(), nullptr) : nullptr;
  if (made == nullptr) ensure_exception_set();
  return made;
}

// The steps of add_function, in their fixed order: the name is listed in __all__ before the
// attribute is set.
bool exec_steps(PyObject* m, PyMethodDef* function) noexcept {
  if (m == nullptr) return failed();
  if (!PyModule_Check(m)) {
    raise_not_instance(m, "module");
    return false;
  }
  const PyRef fn(make_function(m, function));
  PyObject* name_key = fn ? interned(Name::dunder_name) : nullptr;
  if (name_key == nullptr) return false;
  const PyRef name(PyObject_GetAttr(fn.get(), name_key));
  if (!name) return failed();
  if (!PyUnicode_Check(name.get())) {
    raise_not_instance(name.get(), "str");
    return false;
  }
  const PyRef all(export_list(m));
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) < 0) return failed();
  if (PyObject_SetAttr(m, name.get(), fn.get()) < 0) return failed();
  return true;
}

}  // namespace

int add_function(PyObject* m, PyMethodDef* function) noexcept {
  try {
    return exec_steps(m, function) ? 0 : -1;
  } catch (...) {
    raise_current_exception();
    return -1;
  }
}

int execute(PyObject* m, PyMethodDef* function) noexcept {
  if (make_interned_names() < 0 || add_function(m, function) < 0) return -1;
  if (PyModule_AddStringConstant(m, "__version__", TC_VERSION) < 0) {
    ensure_exception_set();
    return -1;
  }
  return 0;
}

}  // namespace tc::module
