#!/usr/bin/env bash
# What more search threads buy on the bench, against one thread, in one run:
#   tools/thread-speed.sh TOOLS [THREADS] [ROUNDS] [DEPTH]
# Runs `TOOLS bench DEPTH` (default 7) with one thread and with THREADS
# (default 2) interleaved ROUNDS times (default 3), then prints the median
# nodes per second of each and their ratio, the time to the depth of each
# (the bench's seconds, median) and its ratio, and the positions whose move
# differs from one thread's in the last round.
set -euo pipefail
if [[ $# -lt 1 || $# -gt 4 ]]; then
  echo "usage: $0 TOOLS [THREADS] [ROUNDS] [DEPTH]" >&2
  exit 2
fi
tools=$1 threads=${2:-2} rounds=${3:-3} depth=${4:-7}
[[ -x $tools ]] || { echo "thread-speed: $tools is not an executable" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
one_nps=() many_nps=() one_s=() many_s=()
for ((round = 1; round <= rounds; round++)); do
  for count in 1 "$threads"; do
    "$tools" bench "$depth" --threads "$count" >"$out/$count"
    nps=$(awk '$1 == "total" { print $4 }' "$out/$count")
    seconds=$(awk '$1 == "abnodes" { print $4 }' "$out/$count")
    printf 'round %d  threads %-3s %10s nps  %8s s\n' "$round" "$count" "$nps" "$seconds"
    if [[ $count == 1 ]]; then one_nps+=("$nps") one_s+=("$seconds"); else many_nps+=("$nps") many_s+=("$seconds"); fi
  done
done
m1=$(median "${one_nps[@]}") mn=$(median "${many_nps[@]}") s1=$(median "${one_s[@]}") sn=$(median "${many_s[@]}")
awk -v a="$m1" -v b="$mn" -v t="$threads" 'BEGIN { printf "nodes per second: 1 thread %.0f, %d threads %.0f, ratio %.2f\n", a, t, b, b / a }'
awk -v a="$s1" -v b="$sn" -v t="$threads" 'BEGIN { printf "time to depth: 1 thread %.2f s, %d threads %.2f s, speed-up %.2f\n", a, t, b, a / b }'
paste <(awk '/^ *[0-9]+ / { print $1, $2 }' "$out/1") <(awk '/^ *[0-9]+ / { print $2 }' "$out/$threads") |
  awk -v t="$threads" '$2 != $3 { differ = differ " " $1 " (" $2 " / " $3 ")" } END { print "moves that differ (position: 1 thread / " t "):" (differ ? differ : " none") }'
