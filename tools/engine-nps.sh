#!/usr/bin/env bash
# Nodes per second of other xboard engines from their own thinking output, on
# a few middlegame positions (White to move), for comparison with our bench:
#   tools/engine-nps.sh [SECONDS] ENGINE...
# Each engine thinks SECONDS (default 3) per position after `post`; the figure
# is the nodes and time (centiseconds) of its last thinking line. Engines that
# ignore setboard get the position through edit mode.
set -euo pipefail
seconds=3
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
positions=(
  "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - - 0 1"
  "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"
  "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - - 0 1"
  "r1bqr1k1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N1P/PPP2PP1/R1BQR1K1 w - - 0 1"
)

# The edit-mode commands that set up the placement of a FEN.
edit_commands() {
  local placement=${1%% *} row=0 file=0 c white="" black=""
  for ((i = 0; i < ${#placement}; i++)); do
    c=${placement:i:1}
    case $c in
      /) row=$((row + 1)); file=0 ;;
      [1-8]) file=$((file + c)) ;;
      *) local sq; sq=$(printf "\\x$(printf %x $((97 + file)))")$((8 - row))
         if [[ $c =~ [A-Z] ]]; then white+="$c$sq"$'\n'; else black+="${c^^}$sq"$'\n'; fi
         file=$((file + 1)) ;;
    esac
  done
  printf 'edit\n#\n%sc\n%s.\n' "$white" "$black"
}

for engine in "$@"; do
  total_nodes=0 total_cs=0
  for fen in "${positions[@]}"; do
    setup="setboard $fen"
    [[ $engine == *fairymax* ]] && setup=$(edit_commands "$fen")
    line=$( (printf 'xboard\nprotover 2\n'; sleep 1
             printf 'new\nforce\npost\n%s\nst %s\ngo\n' "$setup" "$seconds"; sleep $((seconds + 2)); printf 'quit\n') |
            timeout $((seconds + 6)) "$engine" 2>/dev/null |
            grep -E '^ *[0-9]+[ .]+-?[0-9]+ +[0-9]+ +[0-9]+ ' | tail -1)
    read -r _ _ cs nodes _ <<<"$line"
    total_nodes=$((total_nodes + nodes)); total_cs=$((total_cs + cs))
    echo "$(basename "$engine"): $nodes nodes in $cs cs  [$fen]"
  done
  echo "$(basename "$engine"): total $total_nodes nodes $((total_nodes * 100 / (total_cs > 0 ? total_cs : 1))) nps"
done
