// The library root: exports PyInit_tarvel_codec and joins the codec (src/codec/) to the
// Python boundary (src/module/).
#include "codec/document.hpp"
#include "module/call.hpp"
#include "module/module_def.hpp"

namespace {

constexpr char kModuleName[] = "tarvel_codec";

// The fast-call entry of tarvel_codec.columnarize: the boundary's call path around the real
// transform. `self` is nullptr (METH_STATIC); `args` and `kwnames` are borrowed.
PyObject* columnarize(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return tc::module::columnarize_call(args, nargs, kwnames, &tc::columnarize_json);
}

using Module = tc::module::Definition<kModuleName, &columnarize>;

}  // namespace

// The library's only exported symbol: the definition record for multi-phase initialisation.
PyMODINIT_FUNC PyInit_tarvel_codec() { return Module::init(); }
