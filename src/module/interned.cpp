// The interned names: one process-wide str per Name, made once, never released.
#include "module/interned.hpp"

#include <array>
#include <atomic>
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

// Each slot is written once, from null to its name, and never again. Interpreters without the
// global lock run two threads here at once (two module objects executed together, or a call
// while another thread executes one): the one that loses the exchange drops its copy and takes
// the winner's, and the acquire loads see a name only once it is wholly made.
std::array<std::atomic<PyObject*>, kTexts.size()> cache{};

// Borrows: the name in slot `index`, made and published if the slot is empty. nullptr with an
// exception set.
PyObject* make_name(std::size_t index) noexcept {
  const std::string_view text = kTexts[index].text;
  PyObject* made = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  if (made == nullptr) {
    ensure_exception_set();
    return nullptr;
  }
  PyUnicode_InternInPlace(&made);
  PyObject* published = nullptr;
  if (cache[index].compare_exchange_strong(published, made, std::memory_order_acq_rel,
                                           std::memory_order_acquire)) {
    return made;  // the new reference is kept for the life of the process
  }
  Py_DECREF(made);
  return published;
}

}  // namespace

int make_interned_names() noexcept {
  for (std::size_t index = 0; index < cache.size(); ++index) {
    if (cache[index].load(std::memory_order_acquire) == nullptr && make_name(index) == nullptr) return -1;
  }
  return 0;
}

PyObject* interned(Name name) noexcept {
  const auto index = static_cast<std::size_t>(name);
  PyObject* name_object = cache[index].load(std::memory_order_acquire);
  return name_object != nullptr ? name_object : make_name(index);
}

}  // namespace tc::module
