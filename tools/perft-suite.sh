#!/usr/bin/env bash
# The published perft totals, and stockfish's for Chess960, counted at full depth by the given drozak-tools:
# prints each total beside the expected one with seconds and leaves per second,
# and exits non-zero on any mismatch.
set -uo pipefail

tools=${1:?usage: perft-suite.sh PATH/TO/drozak-tools}

cases=(
  "6|119060324|rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
  "5|193690690|r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"
  "7|178633661|8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -"
  "6|706045033|r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"
  "5|89941194|rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"
  "5|164075551|r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10"
  "6|71179139|n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1"
  # Chess960 (Shredder-FEN castling fields), counted by Debian's stockfish 15.1 with UCI_Chess960:
  # the kings of b1 and g1 beside their rooks, then middle games with castling still available.
  "6|124654807|rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w HAha - 0 1"
  "6|127298001|rbbnqnkr/pppppppp/8/8/8/8/PPPPPPPP/RBBNQNKR w HAha - 0 1"
  "6|227689589|bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9"
  "5|114241469|r1nkr3/p1pp1b1p/n5B1/6q1/2PbP3/2NP4/P1K2P1P/R1N1QRB1 b a - 0 14"
  "5|36071120|bqkr1b2/1ppp1p1r/8/p3p3/2P1nn1p/BP1NPN2/P2PBPPP/2QRKR2 w D - 7 15"
  "5|27130611|bb1qrk1r/p1pp2pp/2n4n/1P1PppQ1/8/2N3P1/1PP1PP1P/BB2RKNR w HEhe e6 0 8"
)

failures=0
all_leaves=0
all_ns=0
printf '%-6s %12s %12s %9s %12s  %s\n' depth total expected seconds leaves/s position
for entry in "${cases[@]}"; do
  IFS='|' read -r depth expected fen <<<"$entry"
  start=$(date +%s%N)
  total=$("$tools" perft "$depth" "$fen" 2>/dev/null | awk '$1 == "total" { print $2 }')
  ns=$(( $(date +%s%N) - start ))
  [ -n "$total" ] || total=none
  verdict=ok
  if [ "$total" != "$expected" ]; then verdict=MISMATCH; failures=$((failures + 1)); fi
  if [ "$total" != none ]; then all_leaves=$((all_leaves + total)); all_ns=$((all_ns + ns)); fi
  awk -v d="$depth" -v t="$total" -v e="$expected" -v ns="$ns" -v f="$fen" -v v="$verdict" 'BEGIN {
    s = ns / 1e9; printf "%-6s %12s %12s %9.2f %12.0f  %s  %s\n", d, t, e, s, (s > 0 && t != "none") ? t / s : 0, f, v }'
done
awk -v n="$all_leaves" -v ns="$all_ns" 'BEGIN { s = ns / 1e9; printf "all: %.0f leaves in %.2f s, %.0f leaves/s\n", n, s, (s > 0 ? n / s : 0) }'
# Beside stockfish, when it is installed: its own perft 6 of the start position.
stockfish=${STOCKFISH:-/usr/games/stockfish}
if [ -x "$stockfish" ]; then
  start=$(date +%s%N)
  sf_nodes=$(printf 'position startpos\ngo perft 6\nquit\n' | "$stockfish" 2>/dev/null | awk '/^Nodes searched/ { print $3 }')
  sf_ns=$(( $(date +%s%N) - start ))
  start=$(date +%s%N)
  own_nodes=$("$tools" perft 6 2>/dev/null | awk '$1 == "total" { print $2 }')
  own_ns=$(( $(date +%s%N) - start ))
  awk -v sn="$sf_nodes" -v sns="$sf_ns" -v on="$own_nodes" -v ons="$own_ns" 'BEGIN {
    sr = sn / (sns / 1e9); dr = on / (ons / 1e9)
    printf "start position perft 6: stockfish %d leaves in %.2f s (%.0f/s), drozak %d in %.2f s (%.0f/s), ratio %.3f\n",
      sn, sns / 1e9, sr, on, ons / 1e9, dr, dr / sr }'
fi

if [ "$failures" -gt 0 ]; then
  echo "perft: $failures mismatch(es)" >&2
  exit 1
fi
