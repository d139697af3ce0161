#!/usr/bin/env bash
# A match of Drozak against another engine under xboard without a display.
# Fails when Drozak loses a game by a crash, an illegal move, a false claim or
# on time, leaves one of xboard's pings unanswered, or when the match does not
# finish in time.
#   xboard-match.sh [-e OPPONENT] [-o OPTIONS] [-n GAMES] [-m MOVES] [-t BASE] [-i INC] [-v VARIANT] [-p] [-u] [-b BUILD_DIR]
# Defaults: phalanx (hoichess works too), 4 games of 40 moves in 0:10 (minutes
# or minutes:seconds), no increment; -p lets both engines ponder; -u plays
# drozak-uci through Debian's polyglot adapter, as people run a UCI engine
# under xboard. -o gives Drozak command-line options ("--threads 2"). The
# opponent is a command with its arguments; "drozak ARGS" is this build's
# engine with ARGS, its book, and a log of its own (Drozak against itself,
# say with other threads); "stockfish [LEVEL]" is Debian's stockfish at that
# Skill Level (default 3) through polyglot, which plays Chess960 too. -v
# fischerandom plays Chess960 from a new random start position every game
# (phalanx and hoichess play only normal chess). The engine runs in BUILD_DIR
# (default build), where Drozak.book is; the games, xboard's debug file and
# the logs go to a fresh directory under /tmp.
set -euo pipefail
opponent=phalanx options="" games=4 moves=40 base=0:10 inc=0 variant=normal ponder=false uci=false build=build
while getopts "e:o:n:m:t:i:v:pub:" opt; do
  case $opt in
    e) opponent=$OPTARG ;; o) options=$OPTARG ;; n) games=$OPTARG ;; m) moves=$OPTARG ;; t) base=$OPTARG ;;
    i) inc=$OPTARG ;; v) variant=$OPTARG ;; p) ponder=true ;; u) uci=true ;; b) build=$OPTARG ;;
    *) sed -n '2,21p' "$0"; exit 2 ;;
  esac
done
export PATH="$PATH:/usr/games"
read -r opponentProgram opponentArgs <<<"$opponent"
missing=()
needs=(xboard xvfb-run)
[ "$opponentProgram" = drozak ] || needs+=("$opponentProgram")
[ "$uci" = false ] && [ "$opponentProgram" != stockfish ] || needs+=(polyglot)
for need in "${needs[@]}"; do command -v "$need" >/dev/null || missing+=("${need%-run}"); done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
build=$(cd "$build" && pwd)
[ -x "$build/drozak" ] || { echo "no engine at $build/drozak: build it first" >&2; exit 2; }
out=$(mktemp -d /tmp/drozak-match-XXXXXX)
# (no blank after the last argument: xboard would pass an empty one)
engine="./drozak --log $out/Drozak.log${options:+ $options}"
[ "$uci" = false ] || engine="polyglot -noini -ec './drozak-uci --log $out/Drozak.log${options:+ $options}' -ed $build -log true -lf $out/polyglot.log"
mkdir -p "$out/opponent"
opponentCommand=$opponent
[ "$opponentProgram" != drozak ] ||
  opponentCommand="$build/drozak --book $build/Drozak.book --log $out/opponent/Drozak.log${opponentArgs:+ $opponentArgs}"
[ "$opponentProgram" != stockfish ] ||
  opponentCommand="polyglot -noini -ec stockfish -uci 'Skill Level=${opponentArgs:-3}' -uci Threads=1 -log true -lf $out/opponent/polyglot.log"
# xboard tells every engine the same number of cores at each game: a side
# given --threads keeps its own, its `cores` lines left out on the way in.
# (polyglot's engine command is quoted for the shell too).
keepThreads() {
  case " $2 " in
    *" --threads "*) echo "sh -c \"grep --line-buffered -v '^cores' | exec $1\"" ;;
    *) [ "$uci" = false ] || [ "$1" != "$engine" ] && echo "$1" || echo "sh -c \"exec $1\"" ;;
  esac
}
engine=$(keepThreads "$engine" "$options")
opponentCommand=$(keepThreads "$opponentCommand" "$opponentArgs")
# The players' names in the games: Drozak with its options, and the opponent.
name="Drozak${options:+ $options}" opponentName=$opponent
[ "$name" != "$opponentName" ] || opponentName="$opponent (second)"
pgn=$out/games.pgn debug=$out/xboard.debug
# xboard's -inc (even 0) switches to a clock without moves per session.
clock=(-mps "$moves" -tc "$base")
[ "$inc" = 0 ] || clock=(-tc "$base" -inc "$inc")
limit=$(( games * ($(awk -F: '{ print ($2 == "" ? $1 * 60 : $1 * 60 + $2) }' <<<"$base") * 8 + 60) ))
variantOption=()
[ "$variant" = normal ] || variantOption=(-variant "$variant")
echo "match: $games games ($variant) of $name against $opponentName, $moves moves in $base + $inc s, pondering $ponder, UCI $uci, files in $out"
# A session of its own, so that xboard, Xvfb and the engines end together.
HOME=$out setsid xvfb-run -a xboard -noGUI -fcp "$engine" -fd "$build" -scp "$opponentCommand" -sd "$out/opponent" \
  -firstPgnName "$name" -secondPgnName "$opponentName" \
  -matchGames "$games" "${clock[@]}" "${variantOption[@]}" -ponderNextMove "$ponder" -autoCallFlag true -testClaims true \
  -saveSettingsOnExit false -saveGameFile "$pgn" -debug -nameOfDebugFile "$debug" >"$out/xboard.out" 2>&1 &
session=$!
trap 'kill -- -"$session" 2>/dev/null || true' EXIT
finished() { [ -f "$pgn" ] && grep -cE '^\[Result "(1-0|0-1|1/2-1/2)"\]' "$pgn" || echo 0; }
start=$SECONDS
while [ "$(finished)" -lt "$games" ] && kill -0 "$session" 2>/dev/null; do
  [ $(( SECONDS - start )) -lt "$limit" ] || { echo "match: time limit of ${limit}s reached"; break; }
  sleep 2
done
kill -- -"$session" 2>/dev/null || true
wait "$session" 2>/dev/null || true
trap - EXIT

# One record a game: White, Black, the result, and the last comment (the reason).
failures=0 played=0 wins=0 draws=0 losses=0
while IFS='|' read -r white black result reason; do
  played=$((played + 1))
  [ "$white" = "$name" ] && mine=1-0 theirs=0-1 || mine=0-1 theirs=1-0
  verdict=ok
  case "$result" in
    "$mine") wins=$((wins + 1)) ;;
    1/2-1/2) draws=$((draws + 1)) ;;
    "$theirs") losses=$((losses + 1))
      ! grep -qiE 'forfeit|illegal|false|flag fell|on time|exit|crash|terminated|disconnect' <<<"$reason" || verdict=FAIL ;;
    *) verdict=FAIL ;;
  esac
  [ $verdict = ok ] || failures=$((failures + 1))
  printf '%-4s game %d: %s - %s  %s {%s}\n' "$verdict" "$played" "$white" "$black" "$result" "$reason"
done < <(awk '
  function flush() { if (started) { n = split(text, parts, "{"); reason = n > 1 ? parts[n] : ""; sub(/}.*/, "", reason);
                                    print tag["White"] "|" tag["Black"] "|" tag["Result"] "|" reason } }
  /^\[Event / { flush(); started = 1; text = ""; delete tag }
  /^\[[A-Za-z]+ "/ { key = substr($1, 2); value = $0; sub(/^[^"]*"/, "", value); sub(/"\]$/, "", value); tag[key] = value; next }
  { text = text " " $0 }
  END { flush() }' "$pgn" 2>/dev/null)

# Trouble of Drozak's that may not reach a result comment, and every ping
# xboard sent Drozak answered by its pong.
if grep -iE 'first.*exited unexpectedly|Illegal move .* from first' "$debug" 2>/dev/null | head -5 | grep .; then
  echo "FAIL xboard's debug file reports a crash or an illegal move of Drozak (above)"
  failures=$((failures + 1))
fi
pings=$(grep -oE '>first *: ping [0-9]+' "$debug" 2>/dev/null | grep -oE '[0-9]+$' | sort -u || true)
pongs=$(grep -oE '<first *: pong [0-9]+' "$debug" 2>/dev/null | grep -oE '[0-9]+$' | sort -u || true)
unanswered=$(comm -23 <(echo "$pings") <(echo "$pongs") | grep . | head -5 | paste -sd' ' || true)
echo "match: xboard sent Drozak $(grep -c . <<<"$pings" || true) pings${unanswered:+; FAIL: no pong to ping $unanswered}"
[ -z "$unanswered" ] || failures=$((failures + 1))
[ "$played" -ge "$games" ] || { echo "FAIL only $played of $games games finished"; failures=$((failures + 1)); }
echo "match: Drozak +$wins =$draws -$losses of $played; files in $out"
# The score as an Elo difference with its 95% interval (normal approximation
# over the games' results).
awk -v w="$wins" -v d="$draws" -v l="$losses" 'BEGIN {
  n = w + d + l; if (n == 0) exit
  s = (w + d / 2) / n; v = (w * (1 - s) ^ 2 + d * (0.5 - s) ^ 2 + l * s ^ 2) / n; e = 1.96 * sqrt(v / n)
  elo = function_elo(s)
}
function function_elo(x) { return x <= 0 ? -999 : x >= 1 ? 999 : -400 * log(1 / x - 1) / log(10) }
END {
  if (n == 0) exit
  printf "match: score %.1f%%, Elo %+.0f, 95%% interval %+.0f to %+.0f\n", 100 * s, elo, function_elo(s - e), function_elo(s + e)
}'

[ "$failures" -eq 0 ]
