#!/usr/bin/env bash
# Nodes per second of two builds side by side on the same bench:
#   tools/compare-speed.sh OLD_TOOLS NEW_TOOLS [ROUNDS] [DEPTH]
# Runs `OLD bench DEPTH` and `NEW bench DEPTH` interleaved ROUNDS times
# (default 3 rounds, depth 7), alternating which one goes first, then prints
# every run, the median nps of each and the ratio new/old. Fails if any node
# total differs, between the two builds or between rounds: a speed-up must
# search the very same tree.
set -euo pipefail

if [[ $# -lt 2 || $# -gt 4 ]]; then
  echo "usage: $0 OLD_TOOLS NEW_TOOLS [ROUNDS] [DEPTH]" >&2
  exit 2
fi
old=$1 new=$2 rounds=${3:-3} depth=${4:-7}
for tool in "$old" "$new"; do
  [[ -x $tool ]] || { echo "compare-speed: $tool is not an executable" >&2; exit 2; }
done
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "compare-speed: ROUNDS must be a positive number" >&2; exit 2; }
[[ $depth =~ ^[0-9]+$ ]] || { echo "compare-speed: DEPTH must be a number" >&2; exit 2; }

# One bench run; prints "<nodes> <nps>" from its last line.
bench() {
  local tool=$1 last
  last=$("$tool" bench "$depth" | tail -1)
  if [[ ! $last =~ ^total\ ([0-9]+)\ nodes\ ([0-9]+)\ nps$ ]]; then
    echo "compare-speed: unexpected last line from $tool bench $depth: '$last'" >&2
    exit 1
  fi
  echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
}

median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

old_nps=() new_nps=() expected=""
echo "old: $old"
echo "new: $new"
echo "bench $depth, $rounds rounds"
for ((round = 1; round <= rounds; round++)); do
  if ((round % 2)); then order=(old new); else order=(new old); fi
  for which in "${order[@]}"; do
    if [[ $which == old ]]; then tool=$old; else tool=$new; fi
    result=$(bench "$tool")
    read -r nodes nps <<<"$result"
    printf 'round %d  %-3s  %12s nodes  %10s nps\n' "$round" "$which" "$nodes" "$nps"
    if [[ -z $expected ]]; then
      expected=$nodes
    elif [[ $nodes != "$expected" ]]; then
      echo "compare-speed: FAIL: node totals differ ($which build, round $round: $nodes, first run: $expected)" >&2
      exit 1
    fi
    if [[ $which == old ]]; then old_nps+=("$nps"); else new_nps+=("$nps"); fi
  done
done

old_median=$(median "${old_nps[@]}")
new_median=$(median "${new_nps[@]}")
echo "median old $old_median nps"
echo "median new $new_median nps"
awk -v o="$old_median" -v n="$new_median" 'BEGIN { printf "ratio new/old %.3f\n", n / o }'
