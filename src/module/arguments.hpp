// Binding and converting the arguments of columnarize(payload, min_rows=20).
#pragma once
#include <optional>
#include <string_view>

#include "module/python.hpp"

namespace tc::module {

// The two parameter slots. Both borrow from the call's argument vector; nullptr is an empty slot.
struct BoundArguments {
  PyObject* payload = nullptr;
  PyObject* min_rows = nullptr;
};

// Binds the fast-call arguments (`args` borrowed: `nargs` positionals, then one value per name
// in `kwnames`, a tuple or nullptr) to the slots. Looks at no argument object. Returns
// std::nullopt with TypeError set (count, unexpected keyword, multiple values, missing payload).
[[nodiscard]] std::optional<BoundArguments> bind_arguments(PyObject* const* args, Py_ssize_t nargs,
                                                           PyObject* kwnames) noexcept;

// Checks `payload` (bytes or a subclass), then converts `min_rows` (if given) to an unsigned
// 64-bit integer and drops it. Returns a view of the payload object's own buffer, valid while
// the argument vector holds the object; std::nullopt with the conversion's exception set,
// carrying the note "while processing 'payload'" or "... 'min_rows'".
[[nodiscard]] std::optional<std::string_view> convert_arguments(const BoundArguments& bound) noexcept;

}  // namespace tc::module
