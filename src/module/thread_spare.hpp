// ThreadSpare: the memory of a call's transform object kept by its thread for the next call.
#pragma once
#include <cstddef>
#include <new>
#include <utility>

namespace tc::module {

// Every call makes one transform object of the same size, with the call's first block of
// memory inside it (16 KiB). Taken from the heap and given back on each call, that block cost
// a tenth of the instructions of a call on a small payload: glibc serves blocks of that size
// through its general bins, not its per-thread cache. So each thread keeps the last one given
// back and hands it to its next call; it is freed when the thread ends. A thread holds at
// most one, and only after a call of its own. Blocks hold no state from one call to the next:
// the transform is built anew in them.
template <std::size_t Size>
class ThreadSpare {
 public:
  static void* take() {
    void* block = std::exchange(slot().block, nullptr);
    return block != nullptr ? block : ::operator new(Size);
  }
  static void give_back(void* block) noexcept {
    Slot& s = slot();
    if (s.block == nullptr) {
      s.block = block;
    } else {
      ::operator delete(block);
    }
  }

 private:
  struct Slot {
    Slot() = default;
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { ::operator delete(block); }
    void* block = nullptr;
  };
  static Slot& slot() noexcept {
    thread_local Slot spare;
    return spare;
  }
};

}  // namespace tc::module
