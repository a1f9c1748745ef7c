// The interned names: one process-wide str per Name, created on first use, never released.
#include "module/interned.hpp"

#include <array>
#include <string_view>

#include "module/errors.hpp"

namespace tc::module {
namespace {

struct Entry {
  Name name;
  std::string_view text;
};

constexpr std::array<Entry, static_cast<std::size_t>(Name::count)> kTexts = {{
    {Name::dunder_name, "__name__"},
    {Name::dunder_all, "__all__"},
    {Name::dunder_qualname, "__qualname__"},
    {Name::add_note, "add_note"},
}};

constexpr bool texts_follow_enum_order() {
  for (std::size_t i = 0; i < kTexts.size(); ++i) {
    if (kTexts[i].name != static_cast<Name>(i) || kTexts[i].text.empty()) return false;
  }
  return true;
}
static_assert(texts_follow_enum_order(), "kTexts holds one text per Name, in enum order");

// Every access happens with the interpreter lock held, and creating a name never gives the
// lock up, so no other thread can see a half-made slot or create the same name twice.
std::array<PyObject*, kTexts.size()> cache{};

}  // namespace

PyObject* interned(Name name) noexcept {
  const auto index = static_cast<std::size_t>(name);
  PyObject*& slot = cache[index];
  if (slot == nullptr) {
    const std::string_view text = kTexts[index].text;
    PyObject* made = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (made == nullptr) {
      ensure_exception_set();
      return nullptr;
    }
    PyUnicode_InternInPlace(&made);
    slot = made;  // the new reference is kept for the life of the process
  }
  return slot;
}

}  // namespace tc::module
