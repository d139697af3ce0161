#!/usr/bin/env bash
# A match of Drozak against another engine under xboard without a display.
# Fails when Drozak loses a game by a crash, an illegal move, a false claim or
# on time, leaves one of xboard's pings unanswered, or when the match does not
# finish.
#
#   xboard-match.sh [-e OPPONENT] [-n GAMES] [-m MOVES] [-t BASE] [-i INC] [-s SECONDS_A_MOVE]
#                   [-p] [-b BUILD_DIR] [-o OUT_DIR] [-T SECONDS]
#
# Defaults: phalanx (fairymax and hoichess work too), 4 games, 40 moves in 10
# seconds (-m 40 -t 0:10 -i 0); -s gives a fixed time a move instead, -p lets
# both engines ponder. The engine from ./build (started there, so that it
# finds Drozak.book); the games, xboard's debug file and Drozak's log in a
# fresh directory under /tmp.
set -euo pipefail

opponent=phalanx games=4 moves=40 base=0:10 inc=0 st="" ponder=false build=build out="" limit=""
while getopts "e:n:m:t:i:s:pb:o:T:h" opt; do
  case $opt in
    e) opponent=$OPTARG ;;
    n) games=$OPTARG ;;
    m) moves=$OPTARG ;;
    t) base=$OPTARG ;;
    i) inc=$OPTARG ;;
    s) st=$OPTARG ;;
    p) ponder=true ;;
    b) build=$OPTARG ;;
    o) out=$OPTARG ;;
    T) limit=$OPTARG ;;
    *) sed -n '2,14p' "$0"; exit 2 ;;
  esac
done

# xboard, xvfb-run and the opponents come from Debian; the games are not on PATH everywhere.
export PATH="$PATH:/usr/games"
missing=()
command -v xboard >/dev/null || missing+=(xboard)
command -v xvfb-run >/dev/null || missing+=(xvfb)
command -v "$opponent" >/dev/null || missing+=("$opponent")
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build=$(cd "$build" && pwd)
[ -x "$build/drozak" ] || { echo "no engine at $build/drozak: build it first" >&2; exit 2; }
[ -n "$out" ] || out=$(mktemp -d /tmp/drozak-match-XXXXXX)
mkdir -p "$out/opponent"
out=$(cd "$out" && pwd)
pgn=$out/games.pgn
debug=$out/xboard.debug
rm -f "$pgn"

# The base is minutes or minutes:seconds; a game takes at most a few controls.
base_seconds=$(awk -F: '{ print ($2 == "" ? $1 * 60 : $1 * 60 + $2) }' <<<"$base")
if [ -n "$st" ]; then
  clock=(-searchTime "0:$(printf %02d "$st")")
  describe="$st s a move"
  [ -n "$limit" ] || limit=$(( games * (st * 300 + 60) ))
else
  # xboard's -inc (even 0) switches to a clock without moves per session.
  clock=(-mps "$moves" -tc "$base")
  [ "$inc" = 0 ] || clock=(-tc "$base" -inc "$inc")
  describe="$moves moves in $base + $inc s"
  [ -n "$limit" ] || limit=$(( games * (base_seconds * 8 + 60) ))
fi

echo "match: $games games against $opponent, $describe, pondering $ponder, Drozak from $build, files in $out"
# A session of its own, so that xboard, Xvfb and the engines end together.
HOME=$out setsid xvfb-run -a xboard -noGUI \
  -fcp ./drozak -fd "$build" -scp "$opponent" -sd "$out/opponent" \
  -matchGames "$games" "${clock[@]}" -ponderNextMove "$ponder" \
  -autoCallFlag true -testClaims true -saveSettingsOnExit false \
  -saveGameFile "$pgn" -debug -nameOfDebugFile "$debug" >"$out/xboard.out" 2>&1 &
session=$!
cleanup() { kill -- -"$session" 2>/dev/null || true; }
trap cleanup EXIT

finished() { [ -f "$pgn" ] && grep -cE '^\[Result "(1-0|0-1|1/2-1/2)"\]' "$pgn" || echo 0; }
start=$SECONDS
while [ "$(finished)" -lt "$games" ]; do
  if ! kill -0 "$session" 2>/dev/null; then break; fi
  if [ $(( SECONDS - start )) -ge "$limit" ]; then echo "match: time limit of ${limit}s reached"; break; fi
  sleep 2
done
cleanup
wait "$session" 2>/dev/null || true
trap - EXIT
cp "$build/Drozak.log" "$out/Drozak.log" 2>/dev/null || true

# One record per game: White, Black, result, and the last comment (the reason).
records=$(awk '
  function flush() { if (started) { n = split(text, parts, "{"); reason = n > 1 ? parts[n] : ""; sub(/}.*/, "", reason);
                                    print white "|" black "|" result "|" reason } }
  /^\[Event /  { flush(); started = 1; text = ""; white = black = result = "" }
  /^\[White "/ { white = $0; sub(/^\[White "/, "", white); sub(/"\]$/, "", white); next }
  /^\[Black "/ { black = $0; sub(/^\[Black "/, "", black); sub(/"\]$/, "", black); next }
  /^\[Result "/ { result = $0; sub(/^\[Result "/, "", result); sub(/"\]$/, "", result); next }
  /^\[/ { next }
  { text = text " " $0 }
  END { flush() }' "$pgn" 2>/dev/null || true)

failures=0 played=0 wins=0 draws=0 losses=0
while IFS='|' read -r white black result reason; do
  [ -n "$white$black" ] || continue
  played=$((played + 1))
  if [[ ${white,,} == *drozak* ]]; then side=white; else side=black; fi
  case "$result" in
    1-0) [ $side = white ] && outcome=win || outcome=loss ;;
    0-1) [ $side = black ] && outcome=win || outcome=loss ;;
    1/2-1/2) outcome=draw ;;
    *) outcome=unfinished ;;
  esac
  case $outcome in win) wins=$((wins + 1)) ;; draw) draws=$((draws + 1)) ;; loss) losses=$((losses + 1)) ;; esac
  verdict=ok
  if [ $outcome = unfinished ]; then
    verdict=FAIL
  elif [ $outcome = loss ] && grep -qiE 'forfeit|illegal|false|flag fell|on time|exit|crash|terminated|disconnect' <<<"$reason"; then
    verdict=FAIL
  fi
  [ $verdict = ok ] || failures=$((failures + 1))
  printf '%-4s game %d: %s - %s  %s {%s}\n' "$verdict" "$played" "$white" "$black" "$result" "$reason"
done <<<"$records"

# Trouble of Drozak's that may not reach a result comment.
if [ -f "$debug" ] && grep -qiE 'drozak.*exited unexpectedly|Illegal move .* from first' "$debug"; then
  echo "FAIL xboard's debug file reports a crash or an illegal move of Drozak:"
  grep -iE 'drozak.*exited unexpectedly|Illegal move .* from first' "$debug" | head -5
  failures=$((failures + 1))
fi
# Every ping xboard sent Drozak came back as its pong.
if [ -f "$debug" ]; then
  pings=$(grep -oE '>first *: ping [0-9]+' "$debug" | grep -oE '[0-9]+$' | sort -n | uniq || true)
  pongs=$(grep -oE '<first *: pong [0-9]+' "$debug" | grep -oE '[0-9]+$' | sort -n | uniq || true)
  unanswered=$(comm -23 <(sort <<<"$pings") <(sort <<<"$pongs") | grep -c . || true)
  echo "match: xboard sent Drozak $(grep -c . <<<"$pings" || true) pings, $unanswered without their pong"
  if [ "$unanswered" -gt 0 ]; then
    echo "FAIL pings of xboard's that Drozak never answered: $(comm -23 <(sort <<<"$pings") <(sort <<<"$pongs") | head -5 | paste -sd' ')"
    failures=$((failures + 1))
  fi
fi
if [ "$played" -lt "$games" ]; then
  echo "FAIL only $played of $games games finished"
  failures=$((failures + 1))
fi

echo "match: Drozak +$wins =$draws -$losses of $played; files in $out"
[ "$failures" -eq 0 ]
