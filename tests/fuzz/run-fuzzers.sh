#!/usr/bin/env bash
# Runs every fuzz target of a DROZAK_FUZZ build (or those named) for a bounded
# time each, from its seed corpus (tests/fuzz/corpus) and a working corpus
# below the build directory. A crash, a failed check or an input past the
# target's timeout leaves the input in BUILD_DIR/fuzz-artifacts (replay:
# BUILD_DIR/tests/fuzz/fuzz_NAME FILE) and fails the run; the other targets
# still run.
#   run-fuzzers.sh BUILD_DIR [SECONDS_EACH] [TARGET...]
set -uo pipefail
build=$(realpath "$1") seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")" && pwd)
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
declare -A opts=(  # the longest input worth trying, the time one may take, the format's words
  [setup]="-max_len=512 -timeout=30 -dict=$here/fen.dict" [movetext]="-max_len=16 -timeout=10"
  [book]="-max_len=8192 -timeout=20" [commands]="-max_len=16384 -timeout=60 -dict=$here/commands.dict"
  [pgn]="-max_len=4096 -timeout=20 -dict=$here/pgn.dict")
targets=("${@:-setup movetext book commands pgn}") failed=()
for name in ${targets[*]}; do
  [ -n "${opts[$name]:-}" ] || { echo "unknown fuzz target $name" >&2; exit 2; }
  log=$build/fuzz-logs/$name.log scratch=$(mktemp -d)  # the engine code reads and writes its working directory
  mkdir -p "$build/fuzz-corpus/$name"
  echo "== fuzz $name: $seconds s (${opts[$name]})"
  # shellcheck disable=SC2086
  (cd "$scratch" && "$build/tests/fuzz/fuzz_$name" ${opts[$name]} -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$name-" "$build/fuzz-corpus/$name" "$here/corpus/$name") >"$log" 2>&1
  status=$?
  rm -rf "$scratch"
  echo "   $(grep -E '^stat::number_of_executed_units' "$log" | tail -1), exit $status"
  grep -E '^commands:' "$log" | tail -1 | sed 's/^/   /'  # what the command inputs reached
  [ "$status" -eq 0 ] || { failed+=("$name"); grep -E -A40 '^==[0-9]+==|\*\*\* check failed|ERROR: libFuzzer|SUMMARY' "$log" | head -80; }
done
[ ${#failed[@]} -eq 0 ] || { echo "== fuzz: FAILED: ${failed[*]} (inputs in $build/fuzz-artifacts, logs in $build/fuzz-logs)" >&2; exit 1; }
