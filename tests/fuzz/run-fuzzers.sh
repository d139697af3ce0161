#!/usr/bin/env bash
# Runs every fuzz target of a DROZAK_FUZZ build for a bounded time. To replay
# one input: BUILD_DIR/tests/fuzz/fuzz_NAME FILE.
#
#   run-fuzzers.sh BUILD_DIR [SECONDS_EACH] [TARGET...]
#
# Each target starts from its seed corpus (tests/fuzz/corpus/NAME, never
# written; the search target shares the setup seeds) and a working corpus
# below the build directory that keeps what earlier runs found. A crash, a
# sanitizer report, a failed check or a hang (an input running longer than the
# target's timeout) leaves its input in BUILD_DIR/fuzz-artifacts and fails the
# run; the other targets still run.
set -uo pipefail
build=$(realpath "$1")
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(setup movetext book commands search)

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"

# Options by target: the longest input worth trying, the time one input may
# take, and the dictionary of the format's words.
options() {
    case "$1" in
    setup) echo "-max_len=512 -timeout=10 -dict=$here/fen.dict" ;;
    movetext) echo "-max_len=16 -timeout=10" ;;
    book) echo "-max_len=8192 -timeout=20" ;;
    commands) echo "-max_len=1024 -timeout=60 -dict=$here/commands.dict" ;;
    search) echo "-max_len=256 -timeout=30 -dict=$here/fen.dict" ;;
    *) return 1 ;;
    esac
}

mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=()
summary=()
for name in "${targets[@]}"; do
    binary="$build/tests/fuzz/fuzz_$name"
    opts=$(options "$name") || { echo "unknown fuzz target $name" >&2; exit 2; }
    [ -x "$binary" ] || { echo "missing $binary" >&2; exit 2; }
    seeds="$here/corpus/$name"
    [ "$name" = search ] && seeds="$here/corpus/setup"  # the search starts from set-up positions
    corpus="$build/fuzz-corpus/$name"
    mkdir -p "$corpus"
    log="$build/fuzz-logs/$name.log"
    # Each target runs in a scratch directory of its own: the engine code
    # reads and writes its files in the working directory.
    scratch=$(mktemp -d)
    echo "== fuzz $name: $seconds s ($opts)"
    # shellcheck disable=SC2086
    (cd "$scratch" && "$binary" $opts -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$name-" "$corpus" "$seeds") >"$log" 2>&1
    status=$?
    rm -rf "$scratch"
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
    took=$(sed -nE 's/^Done [0-9]+ runs in ([0-9]+) second.*/\1/p' "$log" | tail -1)
    cov=$(grep -E '^#[0-9]+.*(DONE|pulse|NEW)' "$log" | tail -1 | sed -nE 's/.*cov: ([0-9]+).*/\1/p')
    line="$name: ${runs:-?} runs in ${took:-$seconds} s, coverage ${cov:-?}, corpus $(ls "$corpus" | wc -l) files, exit $status"
    summary+=("$line")
    if [ "$status" -ne 0 ]; then
        failed+=("$name")
        echo "== fuzz $name FAILED (log $log):"
        grep -E -A40 '^==[0-9]+==|\*\*\* check failed|ERROR: libFuzzer|SUMMARY' "$log" | head -80
    fi
done

echo "== fuzz summary"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "== fuzz: FAILED: ${failed[*]} (inputs in $build/fuzz-artifacts)" >&2
    exit 1
fi
