// The page: a game against the engine, or an analysis of any position or
// game, on cm-chessboard's board with chess.js keeping the rules, the SAN and
// the PGN; the engine runs in its worker (engine.js). The engine has one
// search at a time: whenever what it should do changes, the running search
// is stopped, and the next one starts once its bestmove is in.
import {Chess, DEFAULT_POSITION, validateFen} from 'chess.js';
import {BORDER_TYPE, Chessboard, COLOR, INPUT_EVENT_TYPE} from 'cm-chessboard/src/Chessboard.js';
import {Accessibility} from 'cm-chessboard/src/extensions/accessibility/Accessibility.js';
import {MARKER_TYPE, Markers} from 'cm-chessboard/src/extensions/markers/Markers.js';
import {PROMOTION_DIALOG_RESULT_TYPE, PromotionDialog} from 'cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js';
import {Engine} from './engine.js';

const $ = (id) => document.getElementById(id);
const sideName = {w: 'White', b: 'Black'};

// ------------------------------------------------------------------ the game

// Where the game starts, its moves (chess.js's move objects), and how many of
// them the board shows; the tags of a loaded PGN.
const game = {startFen: DEFAULT_POSITION, moves: [], cursor: 0, tags: {}};
let mode = 'play';

function chessAt(plies = game.cursor) {
  const chess = new Chess(game.startFen);
  for (const move of game.moves.slice(0, plies)) chess.move(move);
  return chess;
}

const coordinates = (move) => move.from + move.to + (move.promotion ?? '');
// The side to move after `plies` plies of the game.
const turnAt = (plies) => (game.startFen.split(' ')[1] === 'w') === (plies % 2 === 0) ? 'w' : 'b';

// How the game at the board's position ended, if it did: chess.js's rules.
function gameEnd(chess) {
  if (chess.isCheckmate()) {
    const winner = chess.turn() === 'w' ? 'b' : 'w';
    return {result: winner === 'w' ? '1-0' : '0-1', text: `Checkmate: ${sideName[winner]} wins`};
  }
  if (chess.isStalemate()) return {result: '1/2-1/2', text: 'Stalemate: a draw'};
  if (chess.isInsufficientMaterial()) return {result: '1/2-1/2', text: 'Draw: neither side has the material to mate'};
  if (chess.isThreefoldRepetition()) return {result: '1/2-1/2', text: 'Draw by threefold repetition'};
  if (chess.isDrawByFiftyMoves()) return {result: '1/2-1/2', text: 'Draw by the fifty-move rule'};
  return null;
}

// Plays `input` (a chess.js move object, SAN or coordinates) at the board's
// position; a move that differs from the game's next one replaces the rest of
// the game. False for a move that is not legal there.
function playMove(input) {
  let move;
  try {
    move = chessAt().move(input);
  } catch {
    return false;
  }
  const next = game.moves[game.cursor];
  if (!next || coordinates(next) !== coordinates(move)) {
    game.moves.length = game.cursor;
    game.moves.push(move);
  }
  game.cursor += 1;
  changed();
  return true;
}

// A move typed as coordinates: e2e4, e2-e4, e7e8q, e7e8=Q.
function typedMove(text) {
  const m = /^([a-h][1-8])-?([a-h][1-8])=?([qrbnQRBN])?$/.exec(text);
  return m ? {from: m[1], to: m[2], promotion: m[3]?.toLowerCase()} : text;
}

// ----------------------------------------------------------------- the board

const board = new Chessboard($('board'), {
  position: DEFAULT_POSITION,
  assetsUrl: 'assets/',
  style: {borderType: BORDER_TYPE.frame, pieces: {file: 'pieces/standard.svg'}, animationDuration: 200},
  extensions: [
    {class: Markers},  // its own frame on the squares of a move being made
    {class: PromotionDialog, props: {language: 'en'}},
    {class: Accessibility, props: {language: 'en', movePieceForm: false, boardAsTable: true, piecesAsList: true}},
  ],
});

function boardInput(event) {
  const chess = chessAt();
  if (event.type === INPUT_EVENT_TYPE.moveInputStarted) {
    const moves = chess.moves({square: event.squareFrom, verbose: true});
    board.addLegalMovesMarkers(moves);
    return moves.length > 0;
  }
  if (event.type === INPUT_EVENT_TYPE.moveInputFinished || event.type === INPUT_EVENT_TYPE.moveInputCanceled) {
    board.removeLegalMovesMarkers();
    return undefined;
  }
  if (event.type !== INPUT_EVENT_TYPE.validateMoveInput) return undefined;
  const candidates = chess.moves({square: event.squareFrom, verbose: true}).filter((m) => m.to === event.squareTo);
  if (!candidates.length) return false;
  const {from, to} = candidates[0];
  if (candidates[0].promotion) {
    board.showPromotionDialog(to, chess.turn(), (choice) => {
      if (choice.type === PROMOTION_DIALOG_RESULT_TYPE.pieceSelected) playMove({from, to, promotion: choice.piece.charAt(1)});
      else showBoard();
    });
    return true;
  }
  // The board finishes moving the piece first; the game then sets the
  // whole position (a castling's rook, a pawn taken en passant).
  board.state.moveInputProcess.then(() => playMove({from, to}));
  return true;
}

function personToMove() {
  const chess = chessAt();
  if (gameEnd(chess)) return false;
  return mode === 'analyse' || (chess.turn() === $('colour').value && !engineMoving());
}

function showBoard() {
  const chess = chessAt();
  board.setPosition(chess.fen(), true);
  board.removeMarkers(MARKER_TYPE.square);
  const last = game.moves[game.cursor - 1];
  if (last) {
    board.addMarker(MARKER_TYPE.square, last.from);
    board.addMarker(MARKER_TYPE.square, last.to);
  }
  board.disableMoveInput();
  if (personToMove()) board.enableMoveInput(boardInput, chess.turn() === 'w' ? COLOR.white : COLOR.black);
}

// ---------------------------------------------------------------- the engine

let engine = null;
let engineReady = false;
let analysing = true;
let wanted = 0;       // counts the changes of what the engine should do
let running = null;   // the search in flight: {wanted, kind, fen, turn}
const lines = new Map();  // the analysis's lines by their multipv number
const applied = {multipv: '1', threads: '1'};

// What the engine should be doing now: a move in a game when it is its turn,
// an analysis of the board's position, or nothing.
function engineWork() {
  if (!engineReady) return null;
  const chess = chessAt();
  if (gameEnd(chess)) return null;
  if (mode === 'play' && chess.turn() !== $('colour').value) return {kind: 'move', go: $('strength').value};
  if (mode === 'analyse' && analysing) return {kind: 'analysis', go: 'infinite'};
  return null;
}

function engineMoving() {
  return running?.kind === 'move' && running.wanted === wanted;
}

// Called after every change that may change the engine's work.
function engineFollow() {
  wanted += 1;
  if (running) engine.stop();
  else startSearch();
}

async function startSearch() {
  const work = engineWork();
  lines.clear();
  showLines();
  if (!work) return;
  const chess = chessAt();
  for (const name of ['multipv', 'threads']) {
    const value = $(name).value;
    if (engine.offers(name) && value && value !== applied[name]) {
      engine.setOption(name === 'multipv' ? 'MultiPV' : 'Threads', value);
      applied[name] = value;
    }
  }
  const search = {wanted, kind: work.kind, fen: chess.fen(), turn: chess.turn()};
  running = search;
  $('engine-says').replaceChildren();
  showStatus();
  const start = game.startFen === DEFAULT_POSITION ? undefined : game.startFen;
  const onInfo = (info) => search.wanted === wanted && showInfo(info, search);
  const {move} = await engine.search({fen: start, moves: game.moves.slice(0, game.cursor).map(coordinates), go: work.go, onInfo});
  running = null;
  if (search.wanted !== wanted) return startSearch();
  if (search.kind !== 'move') return showStatus();
  if (move === 'none' || !playMove({from: move.slice(0, 2), to: move.slice(2, 4), promotion: move[4]})) {
    say(`Drozak has no move to play here (it answered ${move}).`);
    showStatus();
  }
}

// The engine's words (its `info string` lines) since its last search began.
function say(text) {
  const line = document.createElement('div');
  line.textContent = text;
  $('engine-says').append(line);
}

// ------------------------------------------------------------------ analysis

// A score from White's side, in pawns or as a mate, and its bar height.
function whiteScore(score, turn) {
  const sign = turn === 'w' ? 1 : -1;
  if (score.mate !== undefined) {
    const mate = sign * score.mate;
    return {text: `${mate > 0 ? '+' : '-'}M${Math.abs(score.mate)}`, share: mate > 0 ? 1 : 0};
  }
  const cp = sign * score.cp;
  return {text: `${cp >= 0 ? '+' : ''}${(cp / 100).toFixed(2)}`, share: 1 / (1 + Math.exp(-cp / 250))};
}

// A line of play as SAN from `fen`, numbered: "12... Nf6 13. Bg5".
function sanLine(fen, pv) {
  const chess = new Chess(fen);
  const parts = [];
  for (const text of pv) {
    const number = chess.moveNumber();
    let move;
    try {
      move = chess.move(typedMove(text));
    } catch {
      break;
    }
    if (move.color === 'w') parts.push(`${number}. ${move.san}`);
    else parts.push(parts.length ? move.san : `${number}... ${move.san}`);
  }
  return parts.join(' ');
}

function showInfo(info, search) {
  if (!info.score) return;
  lines.set(info.multipv ?? 1, {...info, san: sanLine(search.fen, info.pv), white: whiteScore(info.score, search.turn)});
  if (search.kind === 'analysis') showLines();
}

function showLines() {
  const list = $('lines');
  const ordered = [...lines.entries()].sort((a, b) => a[0] - b[0]).map(([, line]) => line);
  list.replaceChildren(...ordered.map((line) => {
    const item = document.createElement('li');
    const score = document.createElement('span');
    score.className = 'score';
    score.textContent = line.white.text;
    item.append(score, ' ', line.san);
    return item;
  }));
  const best = ordered[0];
  $('analysis-summary').textContent = best ? `depth ${best.depth}, ${Math.round((best.nps ?? 0) / 1000)} kN/s` : '';
  $('eval-fill').style.height = best ? `${(best.white.share * 100).toFixed(1)}%` : '50%';
  $('eval-text').textContent = best ? best.white.text : '';
}

// ------------------------------------------------------------- what is shown

function showStatus() {
  const chess = chessAt();
  const end = gameEnd(chess);
  let text;
  if (end) text = `${end.text} (${end.result})`;
  else if (!engineReady && mode === 'play' && chess.turn() !== $('colour').value) text = 'Waiting for the engine…';
  else if (mode === 'play') text = engineMoving() ? 'Drozak is thinking…' : 'Your move';
  else text = `${sideName[chess.turn()]} to move`;
  if (!end && chess.inCheck()) text += ', in check';
  $('game-status').textContent = text;
  $('take-back').disabled = personMovesPlayed() === 0;
}

function personMovesPlayed() {
  let count = 0;
  for (let ply = 0; ply < game.moves.length; ++ply) count += turnAt(ply) === $('colour').value;
  return count;
}

// The move list grows and shrinks a move at a time, so that a screen reader
// announces only what was added.
function showMoves() {
  const list = $('move-list');
  const buttons = [...list.querySelectorAll('button')];
  let same = 0;
  while (same < buttons.length && same < game.moves.length && buttons[same].textContent === game.moves[same].san) ++same;
  for (const button of buttons.slice(same)) button.remove();
  for (const item of [...list.children]) if (!item.querySelector('button')) item.remove();
  const blackFirst = turnAt(0) === 'b';
  const firstNumber = new Chess(game.startFen).moveNumber();
  for (let ply = same; ply < game.moves.length; ++ply) {
    const slot = Math.floor((ply + blackFirst) / 2);
    let item = list.children[slot];
    if (!item) {
      item = document.createElement('li');
      item.value = firstNumber + slot;
      list.append(item);
    }
    const button = document.createElement('button');
    button.className = 'move';
    button.textContent = game.moves[ply].san;
    button.dataset.ply = ply + 1;
    button.setAttribute('aria-label', `${firstNumber + slot}${turnAt(ply) === 'w' ? '.' : '...'} ${game.moves[ply].san}`);
    item.append(button);
  }
  for (const button of list.querySelectorAll('button')) button.classList.toggle('current', Number(button.dataset.ply) === game.cursor);
}

function pgnText() {
  const chess = chessAt(game.moves.length);
  const today = new Date().toISOString().slice(0, 10).replaceAll('-', '.');
  const you = $('colour').value;
  const names = mode === 'play' ? {w: you === 'w' ? 'You' : engine?.name || 'Drozak', b: you === 'b' ? 'You' : engine?.name || 'Drozak'} : {};
  const tags = {Event: 'Drozak in a web page', Date: today, ...game.tags};
  if (names.w) Object.assign(tags, {White: names.w, Black: names.b});
  for (const [key, value] of Object.entries(tags)) if (!['SetUp', 'FEN', 'Result'].includes(key)) chess.setHeader(key, value);
  chess.setHeader('Result', gameEnd(chess)?.result ?? game.tags.Result ?? '*');
  return chess.pgn({maxWidth: 80});
}

function changed() {
  showBoard();
  showMoves();
  $('pgn').value = pgnText();
  engineFollow();
  showStatus();
}

// ------------------------------------------------------------ the controls

// The board turns one turn at a time: it drops a turn asked for while it turns.
let turning = Promise.resolve();
function turnBoard(side) {
  turning = turning.then(() => board.getOrientation() !== side && board.setOrientation(side));
}

// The person's side in a game, at the bottom of the board.
function setColour(side) {
  $('colour').value = side;
  turnBoard(side === 'w' ? COLOR.white : COLOR.black);
}

function setMode(next) {
  if (next === 'play' && mode === 'analyse') {
    game.moves.length = game.cursor;  // play on from the position shown
    setColour(chessAt().turn());
  }
  if (next === 'analyse' && mode === 'play') game.cursor = game.moves.length;
  mode = next;
  $('tab-play').setAttribute('aria-selected', String(mode === 'play'));
  $('tab-analyse').setAttribute('aria-selected', String(mode === 'analyse'));
  $('play-panel').hidden = mode !== 'play';
  $('analysis-panel').hidden = mode !== 'analyse';
  document.body.classList.toggle('analysing', mode === 'analyse');
  changed();
}

function step(to) {
  game.cursor = Math.max(0, Math.min(game.moves.length, to));
  changed();
}

// A FEN (four fields are enough) or a PGN game. Bad text is told and the game
// stays as it was.
function load(text) {
  const error = (message) => {
    $('load-error').textContent = message;
    return false;
  };
  text = text.trim();
  if (!text) return error('Paste a FEN or a PGN game first.');
  if (text.includes('/') && !text.includes('[') && !/\d+\.\s*\S/.test(text)) {
    const fields = text.split(/\s+/);
    const fen = fields.length === 4 ? `${text} 0 1` : text;
    const verdict = validateFen(fen);
    if (!verdict.ok) return error(`Not a position: ${verdict.error.replace(/^Invalid FEN: /, '')}.`);
    Object.assign(game, {startFen: new Chess(fen).fen(), moves: [], cursor: 0, tags: {}});
  } else {
    const chess = new Chess();
    try {
      chess.loadPgn(text);
    } catch (e) {
      return error(`Not a game in PGN: ${e.message}.`);
    }
    const tags = chess.getHeaders();
    const moves = chess.history({verbose: true});
    Object.assign(game, {startFen: tags.FEN ?? DEFAULT_POSITION, moves, cursor: mode === 'play' ? moves.length : 0, tags});
  }
  $('load-error').textContent = '';
  if (mode === 'play') setColour(chessAt().turn());
  changed();
  return true;
}

function takeBack() {
  let plies = game.moves.length - 1;
  while (plies > 0 && turnAt(plies) !== $('colour').value) --plies;
  if (plies < 0 || turnAt(plies) !== $('colour').value) return;
  game.moves.length = plies;
  game.cursor = plies;
  changed();
}

function newGame() {
  Object.assign(game, {startFen: DEFAULT_POSITION, moves: [], cursor: 0, tags: {}});
  if (engineReady) engine.send('ucinewgame');
  changed();
}

function submitMove(event) {
  event.preventDefault();
  const input = $('move-input');
  const text = input.value.trim();
  if (!text) return;
  const chess = chessAt();
  let error = '';
  if (gameEnd(chess)) error = 'The game is over.';
  else if (!personToMove()) error = 'It is not your move.';
  else if (!playMove(typedMove(text))) error = `"${text}" is not a legal move here.`;
  $('move-error').textContent = error;
  if (!error) input.value = '';
}

function fillChoices(select, option, most) {
  const top = Math.min(option.max ?? 1, most);
  select.replaceChildren(...Array.from({length: top - (option.min ?? 1) + 1}, (_, i) => new Option(String((option.min ?? 1) + i))));
  select.value = option.default ?? String(option.min ?? 1);
  applied[select.id] = select.value;
}

async function startEngine() {
  if (!self.crossOriginIsolated) {
    failure('This page is not cross-origin isolated, so the browser gives it no shared memory and the engine cannot ' +
      'start its threads. The server must send "Cross-Origin-Opener-Policy: same-origin" and ' +
      '"Cross-Origin-Embedder-Policy: require-corp" with the page and its files (make serve-web does). ' +
      'The board still works for two players.');
    return;
  }
  engine = new Engine({onMessage: say, onFailure: failure});
  try {
    await engine.start();
  } catch {
    return;
  }
  engineReady = true;
  if (engine.offers('MultiPV')) {
    fillChoices($('multipv'), engine.option('MultiPV'), 5);
    $('multipv-label').hidden = false;
  }
  if (engine.offers('Threads')) {
    fillChoices($('threads'), engine.option('Threads'), navigator.hardwareConcurrency || 1);
    $('threads-label').hidden = false;
  }
  const hash = engine.option('Hash');
  $('engine-status').textContent = `${engine.name}${hash ? `, Hash ${hash.default} MiB` : ''}`;
  engineFollow();
  showStatus();
}

function failure(reason) {
  engineReady = false;
  $('engine-failure').textContent = reason.startsWith('This page') ? reason : `The engine stopped: ${reason}`;
  $('engine-failure').hidden = false;
  $('engine-status').textContent = 'Engine: not running';
  showStatus();
}

$('tab-play').addEventListener('click', () => setMode('play'));
$('tab-analyse').addEventListener('click', () => setMode('analyse'));
$('new-game').addEventListener('click', newGame);
$('take-back').addEventListener('click', takeBack);
$('flip').addEventListener('click', () => turning.then(() => turnBoard(board.getOrientation() === COLOR.white ? COLOR.black : COLOR.white)));
$('colour').addEventListener('change', () => {
  setColour($('colour').value);
  changed();
});
$('move-form').addEventListener('submit', submitMove);
$('load').addEventListener('click', () => load($('position-text').value));
$('analyse-toggle').addEventListener('click', () => {
  analysing = !analysing;
  $('analyse-toggle').textContent = analysing ? 'Stop' : 'Start';
  $('analyse-toggle').setAttribute('aria-pressed', String(analysing));
  engineFollow();
});
for (const id of ['multipv', 'threads']) $(id).addEventListener('change', engineFollow);
$('to-start').addEventListener('click', () => step(0));
$('back').addEventListener('click', () => step(game.cursor - 1));
$('forward').addEventListener('click', () => step(game.cursor + 1));
$('to-end').addEventListener('click', () => step(game.moves.length));
$('move-list').addEventListener('click', (event) => {
  if (mode === 'analyse' && event.target.dataset.ply) step(Number(event.target.dataset.ply));
});
document.addEventListener('keydown', (event) => {
  if (mode !== 'analyse' || event.target.closest('input, textarea, select') || board.isPromotionDialogShown()) return;
  const to = {ArrowLeft: game.cursor - 1, ArrowRight: game.cursor + 1, Home: 0, End: game.moves.length}[event.key];
  if (to !== undefined) {
    event.preventDefault();
    step(to);
  }
});
$('copy-pgn').addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText($('pgn').value);
    $('copy-done').textContent = 'Copied.';
  } catch {
    $('pgn').select();
    $('copy-done').textContent = 'Selected: copy it with Ctrl+C.';
  }
});

changed();
startEngine();
