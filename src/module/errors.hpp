// Raising Python exceptions at the boundary: the fixed messages, notes and fault containment.
// Every function here requires the interpreter lock and leaves exactly one exception set.
#pragma once
#include <string_view>

#include "codec/portable.hpp"
#include "module/python.hpp"

namespace tc::module {

// Fault text for a C++ exception that carries no text.
inline constexpr std::string_view kUnknownFault = "unknown panic in columnarize_json";

// For an interpreter operation that reported failure: sets SystemError "attempted to fetch
// exception but none was set" if the operation left no exception set.
void ensure_exception_set() noexcept;

// TypeError "'TYPE' object is not an instance of 'EXPECTED'", TYPE being the __qualname__
// of the type of `obj` (borrows); "'None' is not an instance of 'EXPECTED'" for None.
TC_COLD void raise_not_instance(PyObject* obj, const char* expected) noexcept;

// Adds `note` to the pending exception through its add_note method, after making it an
// instance. If that fails (no add_note before Python 3.11), the failure is discarded and the
// pending exception stays as it was, without the note.
TC_COLD void add_note(const char* note) noexcept;

// RuntimeError (exactly) whose args are the 1-tuple (message,).
TC_COLD void raise_runtime_error(std::string_view message) noexcept;

// RuntimeError "internal panic during columnarization: " + fault_text.
TC_COLD void raise_internal_panic(std::string_view fault_text) noexcept;

// Call only inside a catch block: raises the C++ exception being handled as MemoryError
// (std::bad_alloc) or as the internal-panic RuntimeError (what(), or kUnknownFault).
TC_COLD void raise_current_exception() noexcept;

}  // namespace tc::module
