// The interned attribute and method names the boundary looks up, made once per process.
#pragma once
#include "module/python.hpp"

namespace tc::module {

enum class Name { dunder_name, dunder_all, dunder_qualname, add_note, count };

// Borrows: the interned `str` for `name`, created on first use and held for the life of the
// process. nullptr with an exception set if it cannot be created (a later call retries).
// Requires the interpreter lock.
[[nodiscard]] PyObject* interned(Name name) noexcept;

}  // namespace tc::module
