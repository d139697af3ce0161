#!/usr/bin/env bash
# GAMES (default 100) games of the engine against itself through the referee,
# bounded to ten seconds a game. SOAK_SEED repeats a run's random choices.
#   soak.sh BUILD_DIR [GAMES] [REFEREE OPTIONS...]
set -euo pipefail
build=$(realpath "$1") games=${2:-100}
shift $(( $# >= 2 ? 2 : $# ))
cmake --build "$build" --target drozak-referee drozak >/dev/null
start=$(date +%s) status=0
timeout "$(( games * 10 + 60 ))" "$build/tests/soak/drozak-referee" --engine "$build/drozak" \
    --fens "$(dirname "$0")/positions.fen" --games "$games" ${SOAK_SEED:+--seed "$SOAK_SEED"} "$@" || status=$?
echo "soak: $(( $(date +%s) - start )) s$([ "$status" -eq 124 ] && echo ", FAILED: not done in time")"
exit "$status"
