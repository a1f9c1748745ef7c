// The call path of columnarize: bind, convert, transform with the lock released, raise.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "module/python.hpp"

namespace tc::module {

// One transform, run in two steps so that a large document is written straight into the
// result bytes: prepare (read and lay out the payload; the document's size is then known)
// and write (exactly size() bytes). Both run with the lock released and may throw anything;
// the call contains it. The shipped module runs the codec; the test-only module a fault
// injector.
class Transform {
 public:
  virtual ~Transform() = default;
  // True when the payload gives a document; false with `error` set when it is rejected.
  virtual bool prepare(std::string_view payload, std::string& error) = 0;
  [[nodiscard]] virtual std::size_t size() const = 0;
  virtual void write(char* out) const = 0;
  // Room for a small document that lasts as long as the transform, or nullptr: the call then
  // allocates its own.
  virtual char* document_room(std::size_t /*size*/) { return nullptr; }
};
using TransformFactory = std::unique_ptr<Transform> (*)();

// The whole call, for a METH_FASTCALL | METH_KEYWORDS entry point: `args` borrowed (`nargs`
// positionals, then the values named by `kwnames`, a tuple or nullptr). Returns a new reference
// to the result bytes, or nullptr with an exception set; lets no C++ exception out.
[[nodiscard]] PyObject* columnarize_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                         TransformFactory make_transform) noexcept;

}  // namespace tc::module
