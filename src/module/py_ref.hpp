// PyRef: the RAII owner of one strong reference to a Python object.
#pragma once
#include <utility>

#include "module/python.hpp"

namespace tc::module {

// Owns one strong reference (or nothing) and drops it on destruction. Only used with the
// interpreter lock held: one may outlive a released-lock region, untouched, but is never
// used or dropped inside it.
class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over `owned`, a new reference, or nullptr for a failed interpreter call.
  explicit PyRef(PyObject* owned) noexcept : ptr_(owned) {}
  PyRef(PyRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef dropped(std::move(*this));
    ptr_ = std::exchange(other.ptr_, nullptr);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(ptr_); }

  // Borrows: valid while this owner holds it.
  [[nodiscard]] PyObject* get() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  // New reference: hands the held reference to the caller and holds nothing afterwards.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }

 private:
  PyObject* ptr_ = nullptr;
};

}  // namespace tc::module
