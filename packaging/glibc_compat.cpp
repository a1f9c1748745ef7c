// Linked into the module only by TC_STATIC_CXX_RUNTIME builds (packaging/manylinux_wheel.sh):
// the C++ library is then linked in whole, and two of its references name glibc symbols newer
// than 2.28. The linker's --wrap sends those references here instead, so that the module loads
// on glibc 2.28 and later, as the manylinux_2_28 tag promises.
#include <unistd.h>

#include <cstdint>

extern "C" {

// glibc 2.32: nonzero while the process has a single thread. Always zero here: the C++ library
// then takes its atomic path for reference counts and guards, which is right in any process.
char __wrap___libc_single_threaded = 0;

// glibc 2.36: random words for std::random_device, which seeds the codec's hash once per
// process. getentropy (glibc 2.25) reads the same kernel source. Where it fails (a kernel
// without getrandom), the words come from addresses and the clock, as good as a hash seed needs.
uint32_t __wrap_arc4random() {
  uint32_t value = 0;
  if (getentropy(&value, sizeof value) == 0) return value;
  const auto address = reinterpret_cast<uintptr_t>(&value);
  return static_cast<uint32_t>(address ^ (address >> 32) ^ static_cast<uintptr_t>(getpid()));
}

}  // extern "C"
