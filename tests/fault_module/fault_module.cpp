// Test-only extension module _tarvel_codec_faults: the shipped call path (src/module/) around a
// transform that fails on demand, so tests can drive fault containment. Built only with
// -DTC_TEST_HOOKS=ON and never installed; the shipped module has no such hook.
#include <chrono>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "codec/document.hpp"
#include "codec/fault.hpp"
#include "module/call.hpp"
#include "module/module_def.hpp"

namespace {

// What the payload asks for, by prefix:
//   "fault:TEXT"   throws tc::InternalFault(TEXT)     "runtime:TEXT" throws std::runtime_error(TEXT)
//   "non-std"      throws an int (no text)            "bad-alloc"    throws std::bad_alloc
//   "error:TEXT"   returns the error text TEXT        "sleep:MS"     sleeps MS ms, then echoes
//   anything else  returns the payload unchanged (so tests see exactly what the transform got)
tc::TransformResult faulty_transform(std::string_view payload) {
  const auto after = [&](std::string_view prefix) { return std::string(payload.substr(prefix.size())); };
  if (payload.starts_with("fault:")) throw tc::InternalFault(after("fault:"));
  if (payload.starts_with("runtime:")) throw std::runtime_error(after("runtime:"));
  if (payload == "non-std") throw 42;
  if (payload == "bad-alloc") throw std::bad_alloc();
  if (payload.starts_with("error:")) return {false, after("error:")};
  if (payload.starts_with("sleep:")) std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(after("sleep:"))));
  return {true, std::string(payload)};
}

constexpr char kModuleName[] = "_tarvel_codec_faults";

PyObject* columnarize(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return tc::module::columnarize_call(args, nargs, kwnames, &faulty_transform);
}

using Module = tc::module::Definition<kModuleName, &columnarize>;

}  // namespace

PyMODINIT_FUNC PyInit__tarvel_codec_faults() { return Module::init(); }
