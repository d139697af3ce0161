#!/usr/bin/env bash
# Lines of test code against the rest: test lines are the .cpp, .h, .sh, .py,
# .cmake files and CMakeLists.txt under tests/ (corpora, dictionaries and FEN
# data left out); the other code is the same kinds of file elsewhere, plus the
# Makefile. Counts the files git tracks.
set -euo pipefail
cd "$(dirname "$0")/.."
code='\.(cpp|h|sh|py|cmake)$|(^|/)CMakeLists\.txt$'
tests=$(git ls-files tests | grep -E "$code" | xargs cat | wc -l)
other=$(git ls-files | grep -v '^tests/' | grep -E "$code|(^|/)Makefile$" | xargs cat | wc -l)
total=$((tests + other))
echo "tests $tests lines, other code $other lines, tests are $(awk -v t="$tests" -v n="$total" 'BEGIN { printf "%.1f", 100 * t / n }')% of $total"
