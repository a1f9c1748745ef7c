// Exception raising for the boundary: messages are built here, on failure only.
#include "module/errors.hpp"

#include <new>
#include <stdexcept>

#include "module/interned.hpp"
#include "module/py_ref.hpp"

namespace tc::module {
namespace {

constexpr std::string_view kPanicPrefix = "internal panic during columnarization: ";

// New reference: `text` as a str. Invalid UTF-8 (possible in a fault's what()) becomes
// U+FFFD, so the message can always be made and the exception stays a RuntimeError.
PyObject* text_to_str(std::string_view text) noexcept {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// New reference: the __qualname__ of `type` (borrows) if it is readable text, else nullptr
// with nothing set (the lookup's exception is discarded).
PyObject* readable_qualname(PyTypeObject* type) noexcept {
  PyObject* key = interned(Name::dunder_qualname);
  PyRef name(key ? PyObject_GetAttr(reinterpret_cast<PyObject*>(type), key) : nullptr);
  if (!name || !PyUnicode_Check(name.get()) || PyUnicode_AsUTF8(name.get()) == nullptr) {
    PyErr_Clear();
    return nullptr;
  }
  return name.release();
}

// Calls exc.add_note(note) on `exc` (borrows, an exception instance); discards any failure.
void call_add_note(PyObject* exc, const char* note) noexcept {
  PyObject* method = interned(Name::add_note);
  PyRef text(method ? PyUnicode_FromString(note) : nullptr);
  if (text) {
    PyObject* args[] = {exc, text.get()};
    PyRef ignored(PyObject_VectorcallMethod(method, args, 2, nullptr));
  }
  PyErr_Clear();
}

}  // namespace

void ensure_exception_set() noexcept {
  if (PyErr_Occurred() == nullptr) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
}

void raise_not_instance(PyObject* obj, const char* expected) noexcept {
  if (obj == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  PyRef name(readable_qualname(Py_TYPE(obj)));
  if (name) {
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), expected);
  } else {
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'",
                 expected);
  }
}

void add_note(const char* note) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* exc = PyErr_GetRaisedException();  // new reference, already an instance
  if (exc == nullptr) return;
  call_add_note(exc, note);
  PyErr_SetRaisedException(exc);  // steals
#else
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);  // new references
  if (type == nullptr) return;
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) call_add_note(value, note);
  PyErr_Restore(type, value, traceback);  // steals all three
#endif
}

void raise_runtime_error(std::string_view message) noexcept {
  PyRef text(text_to_str(message));
  if (text) PyErr_SetObject(PyExc_RuntimeError, text.get());
}

void raise_internal_panic(std::string_view fault_text) noexcept {
  PyRef prefix(text_to_str(kPanicPrefix));
  PyRef fault(prefix ? text_to_str(fault_text) : nullptr);
  PyRef message(fault ? PyUnicode_Concat(prefix.get(), fault.get()) : nullptr);
  if (message) PyErr_SetObject(PyExc_RuntimeError, message.get());
}

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_internal_panic(e.what());
  } catch (...) {
    raise_internal_panic(kUnknownFault);
  }
}

}  // namespace tc::module
