#!/usr/bin/env bash
# Runs the tests of a sanitizer build so that any sanitizer report fails the
# run, whether it comes from the test program or from an engine or tool it
# starts: AddressSanitizer and ThreadSanitizer write every report to a file of
# its own below the build directory, and a run that leaves one fails even when
# the test that caused it passed (an engine killed at the end of a test cannot
# fail it). GCC's UndefinedBehaviorSanitizer, linked with AddressSanitizer,
# ignores log_path and reports on standard error; the build makes every such
# report end the program (-fno-sanitize-recover), which fails a test process,
# and the soak test fails on any output of its engines on standard error.
#
#   sanitized-ctest.sh BUILD_DIR asan   all tests (AddressSanitizer + UBSan)
#   sanitized-ctest.sh BUILD_DIR tsan   the tests that start the engine program
#                                       or the engine thread (ThreadSanitizer)
set -uo pipefail
build=$(realpath "$1")
kind=$2
jobs=${JOBS:-2}

reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"

# Every test runs instrumented: the slowest, the full perft walk, takes about
# 15 s under AddressSanitizer on one core, so nothing is left out.

# The timing tests assert how fast the engine answers, which instrumented
# code is not: they are left out of both runs.
case "$kind" in
asan)
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:log_path=$reports/asan"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
    filter=(-LE timing)
    ;;
tsan)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$reports/tsan"
    # The tests with more than one thread: the engine program over pipes, the
    # engine thread in this process, and the self-play soak.
    filter=(-L 'process|soak' -LE timing)
    ;;
*)
    echo "usage: $0 BUILD_DIR asan|tsan" >&2
    exit 2
    ;;
esac

echo "== $kind: ctest ${filter[*]} -j $jobs"
start=$(date +%s)
ctest --test-dir "$build" --output-on-failure -j "$jobs" "${filter[@]}"
status=$?
echo "== $kind: ctest finished with status $status in $(( $(date +%s) - start )) s"

if compgen -G "$reports/*" >/dev/null; then
    for report in "$reports"/*; do
        echo "== sanitizer report $report:"
        cat "$report"
    done
    echo "== $kind: FAILED: sanitizer reports above" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "== $kind: FAILED: tests failed" >&2
    exit "$status"
fi
echo "== $kind: passed, no sanitizer reports"
