// ReleasedLock: the RAII guard that gives up the interpreter lock for one scope.
#pragma once
#include "module/python.hpp"

namespace tc::module {

// Releases the interpreter lock on construction and re-acquires it on destruction, so every
// way out of the scope (return or exception) takes the lock back. The scope must not touch
// any interpreter object; the boundary runs only src/codec/ code inside it.
class ReleasedLock {
 public:
  ReleasedLock() noexcept : saved_(PyEval_SaveThread()) {}
  ~ReleasedLock() { PyEval_RestoreThread(saved_); }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* saved_;
};

}  // namespace tc::module
