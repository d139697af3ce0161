#!/usr/bin/env python3
"""Drozak against itself at Chess960 over UCI, refereed by python-chess.

    chess960-selfplay.py [--games N] [--movetime MS] [--seed S] [ENGINE]

Each game starts from a random one of the 960 positions; python-chess sets
UCI_Chess960, sends every position with its moves and checks each bestmove;
a line of play it cannot read (king-takes-rook castlings) is an error it
logs, counted here as a fault. A game ends by
the rules: mate, stalemate, material that cannot mate, or a draw that may be
claimed (threefold repetition, fifty moves). Exits non-zero on any illegal
move or engine fault. python-chess is searched for on PYTHONPATH, then in
../shared/clients/python-chess beside the project.
"""
import argparse
import logging
import os
import random
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.append(os.path.join(here, "..", "..", "shared", "clients", "python-chess"))
import chess  # noqa: E402
import chess.engine  # noqa: E402


class Faults(logging.Handler):
    """python-chess's errors, such as an info line it cannot read."""

    def __init__(self):
        super().__init__(logging.ERROR)
        self.messages = []

    def emit(self, record):
        self.messages.append(record.getMessage())


def play(engine, start, movetime):
    board = chess.Board.from_chess960_pos(start)
    castlings = 0
    while board.outcome(claim_draw=True) is None:
        result = engine.play(board, chess.engine.Limit(time=movetime / 1000), info=chess.engine.INFO_PV)
        move = result.move
        if move is None or move not in board.legal_moves:
            raise RuntimeError(f"illegal move {move} in {board.fen()}")
        castlings += board.is_castling(move)
        board.push(move)
    return board, castlings


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--games", type=int, default=10)
    parser.add_argument("--movetime", type=int, default=50)
    parser.add_argument("--seed", type=int, default=960)
    parser.add_argument("engine", nargs="?", default=os.path.join(here, "..", "build", "drozak-uci"))
    args = parser.parse_args()
    rng = random.Random(args.seed)
    faults = Faults()
    logging.getLogger("chess.engine").addHandler(faults)
    engine = chess.engine.SimpleEngine.popen_uci([args.engine, "--log", "none"])
    try:
        for game in range(1, args.games + 1):
            start = rng.randrange(960)
            board, castlings = play(engine, start, args.movetime)
            outcome = board.outcome(claim_draw=True)
            print(f"game {game}: position {start} {chess.Board.from_chess960_pos(start).fen().split()[0]}: "
                  f"{outcome.result()} by {outcome.termination.name.lower()} after {len(board.move_stack)} plies, "
                  f"{castlings} castlings", flush=True)
    finally:
        engine.quit()
    for message in faults.messages:
        print("fault:", message)
    if faults.messages:
        sys.exit(1)
    print(f"{args.games} games, every move and every line of play legal")


if __name__ == "__main__":
    main()
