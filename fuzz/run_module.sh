#!/usr/bin/env bash
# Builds fuzz_module with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer: the
# module as Python calls it, in an embedded interpreter, checked against the codec's own answer.
#
#   fuzz/run_module.sh [SECONDS]   fuzz for SECONDS (default 60), starting from fuzz/seeds, each
#                                  seed under several argument forms and document sizes
#   fuzz/run_module.sh replay PATH...  run each input once
#
# PYTHON names the interpreter to embed (default python3; it needs its shared library). Exits
# non-zero when a call answers otherwise than the codec, leaks, or crashes; the fuzzer saves the
# input under $TC_FUZZ_MODULE_BUILD/findings/ (default build-fuzz-module/findings/).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=libfuzzer.sh
source "$here/libfuzzer.sh"
root=$(dirname "$here")
build=${TC_FUZZ_MODULE_BUILD:-$root/build-fuzz-module}
binary=$build/fuzz/fuzz_module
python=$(command -v "${PYTHON:-python3}")
python=$("$python" -c 'import sys; print(sys.executable)')  # past any shim

build_target() {
  echo "== building fuzz_module (clang, libFuzzer, ASan, UBSan, embedding $python) in $build"
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE= \
    -DCMAKE_CXX_FLAGS="-O2 -g" -DTC_MODULE=ON -DTC_BUILD_FUZZ=ON -DTC_LIBFUZZER=ON -DTC_SANITIZE=ON \
    -DPython_EXECUTABLE="$python" >/dev/null
  local targets
  targets=$(cmake --build "$build" --target help)
  if [[ $targets != *fuzz_module* ]]; then
    echo "== $python cannot be embedded (no shared library or development files): fuzz_module cannot be built" >&2
    return 1
  fi
  cmake --build "$build" --target fuzz_module -j"$(nproc)"
}

# Every seed, behind two bytes that choose the argument form and the document size (see
# fuzz_module.cpp): as it comes, at the direct-write threshold and 8 bytes either side of it,
# and well above it; positional, keywords, min_rows, and refused arguments.
make_seeds() {
  local seeds=$build/module-seeds
  rm -rf "$seeds" && mkdir -p "$seeds"
  local header
  for seed in "$here"/seeds/*; do
    for header in '\x00\x00' '\x01\x81' '\x12\x61' '\x22\xa1' '\x33\xfe' '\x04\x00' '\x05\x00' '\x06\x00' \
      '\x07\x00' '\x08\x00' '\x09\x00' '\x0a\x00' '\x0b\x00'; do
      printf "$header" | cat - "$seed" >"$seeds/$(basename "$seed")_${header//\\x/}"
    done
  done
  echo "$seeds"
}

main() {
  local mode=${1:-60}
  build_target
  if [[ $mode == replay ]]; then
    shift
    "$binary" -runs=0 "$@"
    echo "== replay passed"
    return
  fi
  if [[ ! $mode =~ ^[0-9]+$ ]]; then
    echo "usage: fuzz/run_module.sh [SECONDS] | fuzz/run_module.sh replay PATH..." >&2
    return 2
  fi
  local seeds
  seeds=$(make_seeds)
  run_fuzzer "$mode" "$binary" "$build" "$build/corpus-run" "every call answered as the codec does for $mode s" "$seeds"
}

main "$@"
