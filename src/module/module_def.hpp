// The module definition: static definition records and the execution step.
#pragma once
#include "module/python.hpp"

namespace tc::module {

// A METH_FASTCALL | METH_KEYWORDS entry point; `self` is always nullptr (METH_STATIC).
using FastEntry = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) noexcept;

// The documentation text of columnarize, its text-signature lines first.
extern const char kColumnarizeDoc[];

// The execution step's work for module `m` (borrowed): creates the function object from
// `function` with `m` as owner, appends its __name__ to m.__all__ (made if m has none) and sets
// it as the attribute of that name. Returns 0, or -1 with an exception set.
[[nodiscard]] int add_function(PyObject* m, PyMethodDef* function) noexcept;

// The whole execution step for module `m` (borrowed): makes the interned names, then
// add_function(m, function), then sets m.__version__ (the package's version, a str). Returns 0,
// or -1 with an exception set.
[[nodiscard]] int execute(PyObject* m, PyMethodDef* function) noexcept;

// The static records of one extension module whose single function `columnarize` runs
// `Entry`: multi-phase initialisation with one Py_mod_exec slot, no per-module state, no
// methods table, empty module doc. `Name` is the module's name. Where the interpreter can run
// without its global lock, the module says it needs none: calls share only the interned names,
// made by the execution step and read-only after it, and the transform runs unlocked anyway.
template <const char* Name, FastEntry Entry>
class Definition {
 public:
  // For PyInit_<name>: the definition record, passed through PyModuleDef_Init.
  static PyObject* init() noexcept { return PyModuleDef_Init(&def_); }

 private:
  static int exec(PyObject* m) noexcept { return execute(m, &function_); }

  // Casts through void(*)() because PyCFunction is the declared type of every ml_meth.
  static inline PyMethodDef function_ = {
      "columnarize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry)),
      METH_FASTCALL | METH_KEYWORDS | METH_STATIC, kColumnarizeDoc};
  static inline PyModuleDef_Slot slots_[] = {
      {Py_mod_exec, reinterpret_cast<void*>(&exec)},
#if defined(Py_mod_gil)
      {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
      {0, nullptr}};
  static inline PyModuleDef def_ = {PyModuleDef_HEAD_INIT, Name, "", 0, nullptr, slots_,
                                    nullptr, nullptr, nullptr};
};

}  // namespace tc::module
