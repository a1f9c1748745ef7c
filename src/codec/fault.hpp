// The one exception the codec throws besides std::bad_alloc: a broken internal invariant.
#pragma once
#include <stdexcept>

namespace tc {

// Thrown only when the codec finds its own state inconsistent; no input can cause it.
// The boundary reports what() as the fault text.
struct InternalFault : std::logic_error {
  using std::logic_error::logic_error;
};

}  // namespace tc
