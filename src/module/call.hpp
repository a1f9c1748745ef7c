// The call path of columnarize (Part 2.2): bind, convert, transform with the lock released, raise.
#pragma once
#include <string_view>

#include "codec/document.hpp"
#include "module/python.hpp"

namespace tc::module {

// The transform the call runs: tc::columnarize_json in the shipped module, a fault injector in
// the test-only module. May throw anything; the call contains it.
using TransformFn = tc::TransformResult (*)(std::string_view payload);

// The whole call, for a METH_FASTCALL | METH_KEYWORDS entry point: `args` borrowed (`nargs`
// positionals, then the values named by `kwnames`, a tuple or nullptr). Returns a new reference
// to the result bytes, or nullptr with an exception set; lets no C++ exception out.
[[nodiscard]] PyObject* columnarize_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                         TransformFn transform) noexcept;

}  // namespace tc::module
