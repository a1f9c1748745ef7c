#!/usr/bin/env bash
# Builds fuzz_columnarize with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# then fuzzes it or replays inputs through it.
#
#   fuzz/run.sh [SECONDS]        fuzz for SECONDS (default 60), starting from fuzz/seeds,
#                                fuzz/regressions and the shared JSON conformance corpus
#   fuzz/run.sh replay [PATH...] run each input once; PATHs are all files or all folders
#                                (default: the seeds, the regressions and the shared corpus)
#
# Exits non-zero when an input breaks a property or crashes; the fuzzer saves that input under
# $TC_FUZZ_BUILD/findings/ (default build-fuzz/findings/). Copy it into fuzz/regressions/ to
# keep replaying it. New coverage found while fuzzing accumulates in fuzz/corpus-run/.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=libfuzzer.sh
source "$here/libfuzzer.sh"
root=$(dirname "$here")
build=${TC_FUZZ_BUILD:-$root/build-fuzz}
shared_corpus=$root/../shared/jsontestsuite/test_parsing
binary=$build/fuzz/fuzz_columnarize

build_target() {
  echo "== building fuzz_columnarize (clang, libFuzzer, ASan, UBSan) in $build"
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE= \
    -DCMAKE_CXX_FLAGS="-O2 -g" -DTC_MODULE=OFF -DTC_BUILD_FUZZ=ON -DTC_LIBFUZZER=ON -DTC_SANITIZE=ON >/dev/null
  cmake --build "$build" --target fuzz_columnarize -j"$(nproc)"
}

# The folders every run starts from; the shared corpus only when it is there.
default_inputs() {
  inputs=("$here/seeds")
  [[ -d $here/regressions ]] && inputs+=("$here/regressions")
  if [[ -d $shared_corpus ]]; then
    inputs+=("$shared_corpus")
  else
    echo "== shared JSON corpus not found at $shared_corpus: running without it" >&2
  fi
}

replay() {
  if (($# > 0)); then inputs=("$@"); else default_inputs; fi
  local flags=()
  [[ -d ${inputs[0]} ]] && flags=(-runs=0)
  echo "== replaying ${inputs[*]}"
  "$binary" "${flags[@]}" "${inputs[@]}"
  echo "== replay passed: every input kept every property"
}

fuzz() {
  default_inputs
  run_fuzzer "$1" "$binary" "$build" "$here/corpus-run" "no input broke a property in $1 s" "${inputs[@]}"
}

main() {
  local mode=${1:-60}
  build_target
  if [[ $mode == replay ]]; then
    shift
    replay "$@"
  elif [[ $mode =~ ^[0-9]+$ ]]; then
    fuzz "$mode"
  else
    echo "usage: fuzz/run.sh [SECONDS] | fuzz/run.sh replay [PATH...]" >&2
    return 2
  fi
}

main "$@"
