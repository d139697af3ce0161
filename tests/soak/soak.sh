#!/usr/bin/env bash
# The soak: SOAK_GAMES complete games of the engine against itself through
# the referee, at clocks of a few hundred centiseconds, from the start
# position and from the positions of positions.fen.
#
#   soak.sh BUILD_DIR [GAMES] [REFEREE OPTIONS...]
#
# SOAK_SEED repeats a run's random choices (the engines' timing still
# varies). The whole run is bounded: about ten seconds a game at most.
set -euo pipefail
build=$(realpath "$1")
games=${2:-100}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")" && pwd)

cmake --build "$build" --target drozak-referee drozak >/dev/null

seed_option=()
[ -n "${SOAK_SEED:-}" ] && seed_option=(--seed "$SOAK_SEED")
limit=$(( games * 10 + 60 ))
start=$(date +%s)
status=0
timeout --signal=TERM "$limit" "$build/tests/soak/drozak-referee" --engine "$build/drozak" \
    --fens "$here/positions.fen" --games "$games" "${seed_option[@]}" "$@" || status=$?
echo "soak: $(( $(date +%s) - start )) s"
if [ "$status" -eq 124 ]; then
    echo "soak: FAILED: not done within $limit s" >&2
fi
exit "$status"
