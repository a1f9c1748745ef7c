# Sourced by fuzz/run.sh and fuzz/run_module.sh: one timed libFuzzer run and its report.

# run_fuzzer SECONDS BINARY BUILD CORPUS PASSED INPUT...: fuzzes BINARY for SECONDS from the
# INPUTs, growing CORPUS, with the JSON dictionary beside this file; the log goes to
# BUILD/fuzz.log and a failing input to BUILD/findings/. On success prints the run's figures and
# "fuzzing passed: PASSED"; on failure the log's end and the findings, and returns the status.
run_fuzzer() {
  local seconds=$1 binary=$2 build=$3 corpus=$4 passed=$5
  shift 5
  local log=$build/fuzz.log status=0
  mkdir -p "$corpus" "$build/findings"
  echo "== fuzzing for $seconds s (log: $log)"
  "$binary" -max_total_time="$seconds" -dict="$(dirname "${BASH_SOURCE[0]}")/dict.json.txt" -max_len=4096 \
    -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/findings/" \
    "$corpus" "$@" >"$log" 2>&1 || status=$?
  if ((status != 0)); then
    tail -n 60 "$log"
    echo "== fuzzing FAILED (exit $status); inputs saved in $build/findings/:" >&2
    ls -l "$build/findings/" >&2
    return "$status"
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || tail -n 5 "$log"
  echo "== fuzzing passed: $passed"
}
