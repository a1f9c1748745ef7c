// The interned attribute and method names the boundary looks up, made once per process.
#pragma once
#include "module/python.hpp"

namespace tc::module {

enum class Name { dunder_name, dunder_all, dunder_qualname, add_note, count };

// Makes every name not made yet; the module's execution step calls it, so that calls only ever
// read the names. Returns 0, or -1 with an exception set. Requires an attached thread state.
[[nodiscard]] int make_interned_names() noexcept;

// Borrows: the interned `str` for `name`, held for the life of the process. Made here if the
// execution step has not made it yet (never the case for a module that imported); nullptr with
// an exception set if it cannot be. Requires an attached thread state.
[[nodiscard]] PyObject* interned(Name name) noexcept;

}  // namespace tc::module
