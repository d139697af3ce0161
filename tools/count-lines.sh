#!/usr/bin/env bash
# Lines of test code against the rest: test lines are the .cpp, .h, .sh, .py,
# .cmake, .js, .mjs files and CMakeLists.txt under tests/ and web/tests/
# (corpora, dictionaries and FEN data left out); the other code is the same
# kinds of file elsewhere, plus the Makefile. Counts the files git tracks, so
# neither web/node_modules/ nor a build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
code='\.(cpp|h|sh|py|cmake|js|mjs)$|(^|/)CMakeLists\.txt$'
testDirs='^(web/)?tests/'
tests=$(git ls-files | grep -E "$testDirs" | grep -E "$code" | xargs cat | wc -l)
other=$(git ls-files | grep -vE "$testDirs" | grep -E "$code|(^|/)Makefile$" | xargs cat | wc -l)
total=$((tests + other))
echo "tests $tests lines, other code $other lines, tests are $(awk -v t="$tests" -v n="$total" 'BEGIN { printf "%.1f", 100 * t / n }')% of $total"
