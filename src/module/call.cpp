// One columnarize call: arguments, the transform under containment with the lock released, result.
#include "module/call.hpp"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "codec/portable.hpp"
#include "module/arguments.hpp"
#include "module/errors.hpp"
#include "module/gil.hpp"
#include "module/py_ref.hpp"

namespace tc::module {
namespace {

// What the transform came to, carried from the released region to the raising side. Holds no
// Python object, so it can be made without the lock.
struct Outcome {
  enum class Kind { output, error, fault, no_memory };
  Kind kind;
  std::string text;                 // error text or fault text; empty otherwise
  std::unique_ptr<char[]> own_document{};  // a small document's bytes, when the transform had no room
  const char* document = nullptr;          // a small document's bytes: in the transform, or own_document
  std::size_t document_size = 0;
};

// Writes the runtime's one report of an internal fault to standard error (no lock needed).
TC_COLD void report_fault(const std::string& text) noexcept {
  std::fprintf(stderr, "tarvel_codec: internal fault in columnarize_json: %s\n", text.c_str());
}

// Call only inside a catch block: the outcome for the exception being handled. tc::InternalFault
// is a std::logic_error, so its what() is the fault text. Copying the fault text may itself run
// out of memory, which then is the outcome.
TC_COLD Outcome contain_current_exception() noexcept {
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

// Call only inside a catch block, lock released: the outcome of a fault, reported once.
TC_COLD Outcome contain_released_fault() noexcept {
  Outcome fault = contain_current_exception();
  if (fault.kind == Outcome::Kind::fault) report_fault(fault.text);
  return fault;
}

// Documents up to this size are written while the payload is read, in one released
// region, then copied into the result. Larger ones are written straight into the result
// bytes in a second released region: one copy less, the output held once, and a document
// that cannot be held fails at its allocation before anything is written. Taking the lock
// once more costs less than copying all but the smallest documents.
constexpr std::size_t kDirectWriteThreshold = 16 * 1024;

// Lock released: reads the payload and, for a small document, writes it. `job` is released
// here when the payload is rejected; otherwise it lives on, since a small document may lie in
// its memory and a large one is still to be written into the result bytes (`write_later`).
Outcome prepare_released(std::unique_ptr<Transform>& job, std::string_view payload, bool& write_later) noexcept {
  const ReleasedLock unlocked;
  try {
    std::string error;
    if (!job->prepare(payload, error)) {
      job.reset();
      return {Outcome::Kind::error, std::move(error)};
    }
    if (job->size() > kDirectWriteThreshold) {
      write_later = true;
      return {Outcome::Kind::output, {}};
    }
    const std::size_t size = job->size();
    std::unique_ptr<char[]> own;
    char* room = job->document_room(size);
    if (room == nullptr) {
      own.reset(new char[size]);  // not zero-filled first
      room = own.get();
    }
    job->write(room);
    return {Outcome::Kind::output, {}, std::move(own), room, size};
  } catch (...) {
    job.reset();
    return contain_released_fault();
  }
}

// Lock released: writes the document into `out` and releases `job`.
Outcome write_released(std::unique_ptr<Transform>& job, char* out) noexcept {
  const ReleasedLock unlocked;
  try {
    job->write(out);
    job.reset();
    return {Outcome::Kind::output, {}};
  } catch (...) {
    job.reset();
    return contain_released_fault();
  }
}

// With the lock held: raises the failure an outcome stands for.
void raise_outcome(const Outcome& outcome) noexcept {
  switch (outcome.kind) {
    case Outcome::Kind::error: raise_runtime_error(outcome.text); return;
    case Outcome::Kind::fault: raise_internal_panic(outcome.text); return;
    case Outcome::Kind::no_memory:
    case Outcome::Kind::output: break;
  }
  PyErr_NoMemory();
}

// With the lock held: new reference to the result bytes, or nullptr with the exception set.
PyObject* run_transform(std::unique_ptr<Transform> job, std::string_view payload) noexcept {
  bool write_later = false;
  Outcome outcome = prepare_released(job, payload, write_later);
  if (outcome.kind != Outcome::Kind::output) {
    raise_outcome(outcome);
    return nullptr;
  }
  if (!write_later) {
    PyObject* result = PyBytes_FromStringAndSize(outcome.document, static_cast<Py_ssize_t>(outcome.document_size));
    job.reset();  // only now: the document may have been in its memory
    if (result == nullptr) ensure_exception_set();
    return result;
  }
  PyRef result(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(job->size())));
  if (!result) {
    ensure_exception_set();
    return nullptr;
  }
  // The new bytes object is ours alone until returned, so filling it without the lock is safe.
  outcome = write_released(job, PyBytes_AS_STRING(result.get()));
  if (outcome.kind != Outcome::Kind::output) {
    raise_outcome(outcome);
    return nullptr;
  }
  return result.release();
}

}  // namespace

PyObject* columnarize_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                           TransformFactory make_transform) noexcept {
  try {
    const std::optional<BoundArguments> bound = bind_arguments(args, nargs, kwnames);
    if (!bound) return nullptr;
    const std::optional<std::string_view> payload = convert_arguments(*bound);
    if (!payload) return nullptr;
    return run_transform(make_transform(), *payload);
  } catch (...) {
    raise_current_exception();
    return nullptr;
  }
}

}  // namespace tc::module
