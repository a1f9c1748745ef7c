// Argument binding and conversion for columnarize: fixed order, fixed messages.
#include "module/arguments.hpp"

#include <climits>

#include "codec/portable.hpp"
#include "module/errors.hpp"
#include "module/py_ref.hpp"

namespace tc::module {
namespace {

// New reference: the keyword name as text for a message. A name with no UTF-8 text (lone
// surrogates) shows each byte that does not decode as U+FFFD.
TC_COLD PyObject* shown_keyword(PyObject* name) noexcept {
  PyRef raw(PyUnicode_AsEncodedString(name, "utf-8", "surrogatepass"));
  if (!raw) return nullptr;
  return PyUnicode_DecodeUTF8(PyBytes_AS_STRING(raw.get()), PyBytes_GET_SIZE(raw.get()), "replace");
}

TC_COLD void raise_unexpected_keyword(PyObject* name) noexcept {
  PyRef shown(shown_keyword(name));
  if (shown) {
    PyErr_Format(PyExc_TypeError, "columnarize() got an unexpected keyword argument '%U'", shown.get());
  }
}

// Borrows `name` (a str from the names tuple). The slot the name targets, or nullptr for a
// name that is neither parameter or has no UTF-8 text (that conversion's error is discarded).
PyObject** keyword_slot(PyObject* name, BoundArguments& bound) noexcept {
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name, &size);
  if (text == nullptr) {
    PyErr_Clear();
    return nullptr;
  }
  const std::string_view key(text, static_cast<std::size_t>(size));
  if (key == "payload") return &bound.payload;
  if (key == "min_rows") return &bound.min_rows;
  return nullptr;
}

// False with OverflowError set when `integer` (borrowed, an int) is negative or above 2**64-1.
bool fits_u64(PyObject* integer) noexcept {
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
  return !(value == ULLONG_MAX && PyErr_Occurred() != nullptr);
}

// Converts `min_rows` (borrowed): an int directly, anything else through the index protocol
// first. The note is added by the caller.
bool convert_min_rows(PyObject* min_rows) noexcept {
  if (PyLong_Check(min_rows)) return fits_u64(min_rows);
  PyRef index(PyNumber_Index(min_rows));
  if (!index) {
    ensure_exception_set();
    return false;
  }
  if (!PyLong_Check(index.get())) {
    raise_not_instance(index.get(), "int");
    return false;
  }
  return fits_u64(index.get());
}

}  // namespace

std::optional<BoundArguments> bind_arguments(PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames) noexcept {
  if (nargs > 2) {
    PyErr_Format(PyExc_TypeError, "columnarize() takes from 1 to 2 positional arguments but %zd were given",
                 nargs);
    return std::nullopt;
  }
  BoundArguments bound;
  if (nargs >= 1) bound.payload = args[0];
  if (nargs == 2) bound.min_rows = args[1];
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < nkw; ++i) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, i);
    PyObject** slot = keyword_slot(name, bound);
    if (slot == nullptr) {
      raise_unexpected_keyword(name);
      return std::nullopt;
    }
    if (*slot != nullptr) {
      PyErr_Format(PyExc_TypeError, "columnarize() got multiple values for argument '%s'",
                   slot == &bound.payload ? "payload" : "min_rows");
      return std::nullopt;
    }
    *slot = args[nargs + i];
  }
  if (bound.payload == nullptr) {
    PyErr_SetString(PyExc_TypeError, "columnarize() missing 1 required positional argument: 'payload'");
    return std::nullopt;
  }
  return bound;
}

std::optional<std::string_view> convert_arguments(const BoundArguments& bound) noexcept {
  if (!PyBytes_Check(bound.payload)) {
    raise_not_instance(bound.payload, "bytes");
    add_note("while processing 'payload'");
    return std::nullopt;
  }
  if (bound.min_rows != nullptr && !convert_min_rows(bound.min_rows)) {
    add_note("while processing 'min_rows'");
    return std::nullopt;
  }
  // No copy of the payload: a bytes object (subclasses included) never changes its bytes, and
  // the caller's argument vector holds a reference to it for the whole call, so the transform
  // can read the object's own buffer while the lock is released.
  const Py_ssize_t size = PyBytes_GET_SIZE(bound.payload);
  if (size == 0) return std::string_view{};
  return std::string_view(PyBytes_AS_STRING(bound.payload), static_cast<std::size_t>(size));
}

}  // namespace tc::module
