// Asking the kernel to map a whole range of fresh pages at once. Written page by page, every
// new page of a large buffer costs a trap of its own; one request for the range is several
// times cheaper. Only a hint: where it is not available (an older kernel, another system) or
// fails, the pages are mapped as they are written, as before.
#pragma once
#include <cerrno>
#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tc {

// Ranges below this are left alone: small buffers mostly reuse pages that are already mapped.
inline constexpr size_t kPrefaultMinimum = 256 * 1024;

// Maps the whole pages inside [begin, begin + size) for writing, when the system can.
inline void prefault_for_writing(void* begin, size_t size) {
#if defined(__linux__)
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE (Linux 5.14)
  static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  if (size < kPrefaultMinimum || page == 0 || (page & (page - 1)) != 0) return;
  const auto first = reinterpret_cast<uintptr_t>(begin);
  const uintptr_t start = (first + page - 1) & ~(page - 1);
  const uintptr_t end = (first + size) & ~(page - 1);
  if (end <= start) return;
  const int saved_errno = errno;  // a refused hint is no error of the caller's
  (void)madvise(reinterpret_cast<void*>(start), end - start, kPopulateWrite);
  errno = saved_errno;
#else
  (void)begin;
  (void)size;
#endif
}

}  // namespace tc
