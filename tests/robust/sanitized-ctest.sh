#!/usr/bin/env bash
# The tests of a sanitizer build, failing on any sanitizer report, whether it
# comes from the test program or from an engine or tool it starts (an engine
# killed at the end of a test cannot fail it): reports go to files below the
# build directory. GCC's UBSan beside ASan ignores log_path, but the build
# makes its reports end the program, and the soak fails on any engine output
# on standard error. Instrumented code is slow: the timing tests run with their
# bounds stretched by DROZAK_TIME_SCALE.
#   sanitized-ctest.sh BUILD_DIR asan   all tests (AddressSanitizer + UBSan)
#   sanitized-ctest.sh BUILD_DIR tsan   the tests with more than one thread (ThreadSanitizer)
set -uo pipefail
build=$(realpath "$1") kind=$2
reports=$build/sanitizer-reports
rm -rf "$reports" && mkdir -p "$reports"
case "$kind" in
asan) filter=() scale=4
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:log_path=$reports/asan"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" ;;
tsan) filter=(-L 'process|soak|timing') scale=10
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$reports/tsan" ;;
*) echo "usage: $0 BUILD_DIR asan|tsan" >&2; exit 2 ;;
esac
export DROZAK_TIME_SCALE=${DROZAK_TIME_SCALE:-$scale}
start=$(date +%s)
ctest --test-dir "$build" --output-on-failure -j "${JOBS:-2}" "${filter[@]}"
status=$?
echo "== $kind: ctest status $status in $(( $(date +%s) - start )) s"
for report in "$reports"/*; do
  [ -e "$report" ] && echo "== sanitizer report $report:" && cat "$report" && reported=1
done
[ -z "${reported:-}" ] || { echo "== $kind: FAILED: sanitizer reports above" >&2; exit 1; }
[ "$status" -eq 0 ] && echo "== $kind: passed, no sanitizer reports" || echo "== $kind: FAILED: tests failed" >&2
exit "$status"
