// One columnarize call: arguments, the transform under containment with the lock released, result.
#include "module/call.hpp"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "module/arguments.hpp"
#include "module/errors.hpp"
#include "module/gil.hpp"

namespace tc::module {
namespace {

// What the transform came to, carried from the released region to the raising side. Holds no
// Python object, so it can be made without the lock.
struct Outcome {
  enum class Kind { output, error, fault, no_memory };
  Kind kind;
  std::string text;  // output bytes, error text or fault text; empty for no_memory
};

// Writes the runtime's one report of an internal fault to standard error (no lock needed).
[[gnu::cold]] void report_fault(const std::string& text) noexcept {
  std::fprintf(stderr, "tarvel_codec: internal fault in columnarize_json: %s\n", text.c_str());
}

// Call only inside a catch block: the outcome for the exception being handled. tc::InternalFault
// is a std::logic_error, so its what() is the fault text. Copying the fault text may itself run
// out of memory, which then is the outcome.
[[gnu::cold]] Outcome contain_current_exception() noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      return {Outcome::Kind::no_memory, {}};
    } catch (const std::exception& e) {
      return {Outcome::Kind::fault, e.what()};
    } catch (...) {
      return {Outcome::Kind::fault, std::string(kUnknownFault)};
    }
  } catch (const std::bad_alloc&) {
    return {Outcome::Kind::no_memory, {}};
  }
}

// Runs `transform` on `payload` under fault containment, with the lock released: no C++
// exception leaves the released region and no interpreter object is touched in it.
Outcome run_released(TransformFn transform, std::string_view payload) noexcept {
  const ReleasedLock unlocked;
  try {
    TransformResult result = transform(payload);
    return {result.ok ? Outcome::Kind::output : Outcome::Kind::error, std::move(result.text)};
  } catch (...) {
    Outcome fault = contain_current_exception();
    if (fault.kind == Outcome::Kind::fault) report_fault(fault.text);
    return fault;
  }
}

// With the lock held: new reference to the result bytes, or nullptr with the exception set.
PyObject* finish(const Outcome& outcome) noexcept {
  switch (outcome.kind) {
    case Outcome::Kind::output: {
      PyObject* result =
          PyBytes_FromStringAndSize(outcome.text.data(), static_cast<Py_ssize_t>(outcome.text.size()));
      if (result == nullptr) ensure_exception_set();
      return result;
    }
    case Outcome::Kind::error:
      raise_runtime_error(outcome.text);
      return nullptr;
    case Outcome::Kind::fault:
      raise_internal_panic(outcome.text);
      return nullptr;
    case Outcome::Kind::no_memory:
      break;
  }
  PyErr_NoMemory();
  return nullptr;
}

}  // namespace

PyObject* columnarize_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                           TransformFn transform) noexcept {
  try {
    const std::optional<BoundArguments> bound = bind_arguments(args, nargs, kwnames);
    if (!bound) return nullptr;
    const std::optional<std::string_view> payload = convert_arguments(*bound);
    if (!payload) return nullptr;
    const Outcome outcome = run_released(transform, *payload);
    return finish(outcome);
  } catch (...) {
    raise_current_exception();
    return nullptr;
  }
}

}  // namespace tc::module
