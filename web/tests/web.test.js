// The web build as a browser gets it from `make serve-web`, in headless
// Chromium: the worker alone, spoken to in UCI and held against the console
// engine (build/drozak-uci, build/drozak-tools), then the page, played and
// analysed through its board and its fields as a person would.
//   WEB_BUILD, NATIVE_BUILD: the two build folders; SCREENSHOTS: where the
//   screenshots go; BENCH_DEPTH: the bench's depth in both (7).
import assert from 'node:assert/strict';
import {spawn, spawnSync} from 'node:child_process';
import {mkdirSync, mkdtempSync} from 'node:fs';
import {createServer} from 'node:net';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import {fileURLToPath} from 'node:url';
import {Chess} from 'chess.js';
import {chromium} from 'playwright-core';

const repo = fileURLToPath(new URL('../..', import.meta.url));
const webBuild = process.env.WEB_BUILD ?? join(repo, 'build-web');
const nativeBuild = process.env.NATIVE_BUILD ?? join(repo, 'build');
const screenshots = process.env.SCREENSHOTS ?? mkdtempSync(join(tmpdir(), 'drozak-web-'));
const benchDepth = process.env.BENCH_DEPTH ?? '7';
const chromiumFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

let server, browser, base;

const freePort = () => new Promise((done) => {
  const probe = createServer().listen(0, '127.0.0.1', () => {
    const {port} = probe.address();
    probe.close(() => done(port));
  });
});

before(async () => {
  const port = await freePort();
  base = `http://127.0.0.1:${port}`;
  server = spawn('make', ['-s', '--no-print-directory', 'serve-web', `PORT=${port}`, `WEB_BUILD=${webBuild}`],
    {cwd: repo, detached: true, stdio: ['ignore', 'pipe', 'pipe']});
  let said = '';
  server.stderr.on('data', (data) => (said += data));
  await new Promise((ready, fail) => {
    server.stdout.on('data', (data) => String(data).includes('serving') && ready());
    server.on('exit', (code) => fail(new Error(`make serve-web ended (${code}): ${said}`)));
  });
  browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: chromiumFlags});
  mkdirSync(screenshots, {recursive: true});
});

after(async () => {
  await browser?.close();
  if (server) process.kill(-server.pid);
});

// What the console engine answers to `lines` (its input then ends).
function nativeAnswers(lines) {
  const run = spawnSync(join(nativeBuild, 'drozak-uci'), ['--log', 'none'],
    {cwd: nativeBuild, input: lines.join('\n') + '\n', encoding: 'utf8'});  // its book is there
  return run.stdout.trim().split('\n');
}

// A conversation with a worker in `page`: send lines, read up to a line.
async function workerIn(page) {
  await page.evaluate(() => {
    window.out = [];
    window.engine = new Worker('drozak.js');
    window.engine.onmessage = (event) => window.out.push(event.data);
  });
  let read = 0;
  return {
    send: (...lines) => page.evaluate((all) => all.forEach((line) => window.engine.postMessage(line)), lines),
    // The lines from the last one read up to the first that `last` matches.
    until: async (last, timeout = 30000) => {
      const found = await page.waitForFunction(([from, pattern]) => {
        const at = window.out.findIndex((line, i) => i >= from && new RegExp(pattern).test(line));
        return at >= 0 && at + 1;
      }, [read, last.source], {timeout});
      const end = await found.jsonValue();
      const lines = await page.evaluate(([from, to]) => window.out.slice(from, to), [read, end]);
      read = end;
      return lines;
    },
    pending: () => page.evaluate((from) => window.out.slice(from), read),
  };
}

// Whether the coordinate moves of `pv` are a legal line from `fen` after `moves`.
function legalLine(fen, moves, pv) {
  const chess = new Chess(fen);
  try {
    for (const move of [...moves, ...pv]) chess.move(move);
    return true;
  } catch {
    return false;
  }
}

const startFen = new Chess().fen();
const bestmoveLine = /^bestmove ([a-h][1-8][a-h][1-8][qrbn]?)( ponder [a-h][1-8][a-h][1-8][qrbn]?)?$/;

test('the worker speaks UCI as drozak-uci does', async (t) => {
  const page = await browser.newPage();
  await page.goto(`${base}/worker-alone`);  // any page of the site: it is cross-origin isolated
  assert.equal(await page.evaluate(() => self.crossOriginIsolated), true);
  const worker = await workerIn(page);

  await t.test('the handshake: the console engine\'s lines, its own Hash and Threads limits', async () => {
    await worker.send('uci');
    const lines = await worker.until(/^uciok$/);
    const native = nativeAnswers(['uci']);
    const own = /^option name (Hash|Threads) /;
    assert.deepEqual(lines.filter((l) => !own.test(l)), native.filter((l) => !own.test(l)));
    assert.equal(lines.find((l) => /^option name Hash /.test(l)), 'option name Hash type spin default 16 min 1 max 1024');
    assert.equal(lines.find((l) => /^option name Threads /.test(l)), 'option name Threads type spin default 1 min 1 max 9');
    await worker.send('isready');
    assert.deepEqual(await worker.until(/^readyok$/), ['readyok']);
  });

  await t.test('position with moves, go depth 6: legal lines and a legal bestmove', async () => {
    const moves = ['e2e4', 'e7e5', 'g1f3', 'b8c6'];
    await worker.send('setoption name OwnBook value false', 'ucinewgame', `position startpos moves ${moves.join(' ')}`, 'go depth 6');
    const lines = await worker.until(/^bestmove/);
    const best = bestmoveLine.exec(lines.at(-1));
    assert.ok(best, lines.at(-1));
    assert.ok(legalLine(startFen, moves, [best[1]]), best[1]);
    const infos = lines.filter((l) => / pv /.test(l));
    assert.ok(infos.some((l) => / depth 6 /.test(l)), 'an info line of depth 6');
    for (const info of infos) assert.ok(legalLine(startFen, moves, info.split(' pv ')[1].split(' ')), info);
  });

  await t.test('two threads and three lines: every depth\'s three lines, the move the first one\'s', async () => {
    const moves = ['d2d4', 'g8f6', 'c2c4'];
    await worker.send('setoption name Threads value 2', 'setoption name MultiPV value 3', `position startpos moves ${moves.join(' ')}`,
      'go depth 6');
    const lines = await worker.until(/^bestmove/);
    const best = bestmoveLine.exec(lines.at(-1));
    assert.ok(best && legalLine(startFen, moves, [best[1]]), lines.at(-1));
    const deepest = lines.filter((l) => / depth 6 .* multipv /.test(l)).slice(-3);
    assert.deepEqual(deepest.map((l) => / multipv (\d) /.exec(l)[1]), ['1', '2', '3']);
    for (const info of deepest) assert.ok(legalLine(startFen, moves, info.split(' pv ')[1].split(' ')), info);
    assert.equal(new Set(deepest.map((l) => l.split(' pv ')[1].split(' ')[0])).size, 3);
    assert.equal(deepest[0].split(' pv ')[1].split(' ')[0], best[1]);
    await worker.send('setoption name Threads value 1', 'setoption name MultiPV value 1');
  });

  await t.test('go infinite waits for stop, then answers', async () => {
    await worker.send('position startpos', 'go infinite');
    await worker.until(/ depth 3 /);
    await new Promise((wait) => setTimeout(wait, 500));
    assert.ok(!(await worker.pending()).some((l) => l.startsWith('bestmove')), 'no bestmove before stop');
    await worker.send('stop');
    const best = bestmoveLine.exec((await worker.until(/^bestmove/)).at(-1));
    assert.ok(best && legalLine(startFen, [], [best[1]]));
  });

  await t.test('bad lines get the console engine\'s answers', async () => {
    const bad = ['xyzzy', 'setoption name Nonsense value 3', 'setoption name Hash value 99999', 'position fen 8/8/8/8 w - -',
      'go depth 2', 'position startpos moves e2e5', 'position', 'bench 1', 'isready'];
    await worker.send(...bad);
    assert.deepEqual(await worker.until(/^readyok$/), nativeAnswers(bad));
  });

  await t.test(`bench ${benchDepth}: the native node total, with a 32-bit size_t`, async () => {
    await worker.send(`bench ${benchDepth}`);
    const lines = await worker.until(/^total /, 300000);
    const native = spawnSync(join(nativeBuild, 'drozak-tools'), ['bench', benchDepth],
      {cwd: mkdtempSync(join(tmpdir(), 'drozak-bench-')), encoding: 'utf8'}).stdout.trimEnd().split('\n');
    const withoutSpeed = (all) => all.map((l) => l.replace(/seconds [0-9.]+|[0-9]+ nps| +[0-9]+\.[0-9]{3} s /g, ''));
    assert.deepEqual(withoutSpeed(lines), withoutSpeed(native));
    const nps = (all) => Number(/ ([0-9]+) nps/.exec(all.at(-1))[1]);
    t.diagnostic(`bench ${benchDepth}: ${native.at(-1)} natively, ${lines.at(-1)} in the browser ` +
      `(${(nps(lines) / nps(native)).toFixed(2)} of native)`);
  });

  await t.test('quit ends the worker', async () => {
    await worker.send('quit', 'isready');
    await new Promise((wait) => setTimeout(wait, 1000));
    assert.deepEqual(await worker.pending(), []);
  });
  await page.close();
});

// The board's pieces as the page draws them, against chess.js's board of
// `fen`, once the board's animations are over (3 s at most).
async function boardMatches(page, fen) {
  const expected = {};
  for (const row of new Chess(fen).board()) for (const piece of row) if (piece) expected[piece.square] = piece.color + piece.type;
  let drawn;
  for (const until = Date.now() + 3000; Date.now() < until; await page.waitForTimeout(100)) {
    drawn = await page.$$eval('#board g[data-piece][data-square]', (pieces) =>
      Object.fromEntries(pieces.filter((p) => p.getAttribute('visibility') !== 'hidden')
        .map((p) => [p.dataset.square, p.dataset.piece])));
    if (JSON.stringify(Object.entries(drawn).sort()) === JSON.stringify(Object.entries(expected).sort())) break;
  }
  assert.deepEqual(drawn, expected);
}

const movesShown = (page) => page.$$eval('#move-list button', (buttons) => buttons.map((b) => b.textContent));

function afterMoves(fen, sans) {
  const chess = new Chess(fen);
  for (const san of sans) chess.move(san);  // throws on an illegal move
  return chess.fen();
}

function matesInOne(chess) {
  return chess.moves().filter((move) => {
    chess.move(move);
    const mate = chess.isCheckmate();
    chess.undo();
    return mate;
  });
}

// The key moves of a mate in two: whatever the reply, a mate follows.
function mateInTwoKeys(fen) {
  const chess = new Chess(fen);
  return chess.moves().filter((key) => {
    chess.move(key);
    const forced = chess.moves().every((reply) => {
      chess.move(reply);
      const mates = matesInOne(chess).length > 0;
      chess.undo();
      return mates;
    });
    const replies = chess.moves().length;
    chess.undo();
    return forced && replies > 0;
  });
}

// The moves of an analysis line as the page shows it ("+0.31 12... Nf6 13. Bg5").
const lineMoves = (text) => text.split(' ').slice(1).filter((word) => !/^\d+\.+$/.test(word));

test('the page: play, take back, a mate, analysis and bad input', async (t) => {
  const page = await browser.newPage({viewport: {width: 1100, height: 800}});
  const problems = [];
  page.on('console', (message) => message.type() === 'error' && problems.push(message.text()));
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(base + '/');
  await page.waitForFunction(() => /Drozak/.test(document.getElementById('engine-status').textContent));
  const square = async (name) => {
    const box = await page.locator(`#board [data-square="${name}"]`).first().boundingBox();
    await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  };
  const load = async (text) => {
    await page.evaluate(() => (document.getElementById('setup').open = true));
    await page.fill('#position-text', text);
    await page.click('#load');
  };
  const plies = (n) => page.waitForFunction((count) => document.querySelectorAll('#move-list button').length === count, n);
  await page.selectOption('#strength', 'depth 1');

  await t.test('a move made by clicking squares gets a legal reply; take-back undoes both', async () => {
    await square('e2');
    await square('e4');
    await plies(2);
    const shown = await movesShown(page);
    assert.equal(shown[0], 'e4');
    const fen = afterMoves(startFen, shown);
    await boardMatches(page, fen);
    assert.equal(await page.textContent('#game-status'), 'Your move');
    await page.screenshot({path: join(screenshots, 'game-started.png')});
    await page.click('#take-back');
    await plies(0);
    await boardMatches(page, startFen);
  });

  await t.test('a mate in two from a set-up position ends the game, 1-0', async () => {
    const problem = 'kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1';
    await load(problem);
    assert.equal(await page.inputValue('#colour'), 'w');
    const [key] = mateInTwoKeys(problem);
    assert.ok(key);
    const keyMove = new Chess(problem).move(key);
    await square(keyMove.from);
    await square(keyMove.to);
    await plies(2);
    const [mate] = matesInOne(new Chess(afterMoves(problem, await movesShown(page))));
    await page.fill('#move-input', mate);  // the keyboard's way
    await page.press('#move-input', 'Enter');
    await plies(3);
    await page.waitForFunction(() => /Checkmate: White wins \(1-0\)/.test(document.getElementById('game-status').textContent));
    assert.match(await page.inputValue('#pgn'), /1-0\s*$/);
    assert.equal(await page.getAttribute('#move-list', 'aria-live'), 'polite');
    await page.waitForTimeout(500);
    await page.screenshot({path: join(screenshots, 'game-mated.png')});
  });

  let fen;
  await t.test('analysis of a set-up position shows lines whose moves are legal there', async () => {
    await page.click('#tab-analyse');
    fen = 'r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4';
    await load(fen);
    await page.waitForFunction(() => document.querySelectorAll('#lines li').length > 0);
    assert.ok(await page.isVisible('#multipv-label'), 'the engine offers MultiPV');
    await page.selectOption('#multipv', '3');
    await page.waitForFunction(() => document.querySelectorAll('#lines li').length === 3);
    const lines = await page.$$eval('#lines li', (items) => items.map((i) => i.textContent));
    assert.equal(lines.length, 3);
    for (const line of lines) {
      assert.match(line.split(' ')[0], /^[+-](\d+\.\d\d|M\d+)$/);
      afterMoves(fen, lineMoves(line));
    }
    assert.equal(new Set(lines.map((line) => lineMoves(line)[0])).size, 3, 'three different first moves');
    // The position holds a mate in one: the best line plays it, scored from White's side.
    assert.ok(matesInOne(new Chess(fen)).includes(lineMoves(lines[0])[0]), lines[0]);
    assert.match(lines[0], /^\+M1 /);
    assert.notEqual(await page.textContent('#eval-text'), '');
    await page.screenshot({path: join(screenshots, 'analysis.png')});
  });

  await t.test('a malformed FEN is told and the position stays; a refused one shows the engine\'s words', async () => {
    await load('rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1');
    assert.match(await page.textContent('#load-error'), /Not a position/);
    assert.equal(await page.inputValue('#position-text'), 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1');
    await boardMatches(page, fen);
    await load('rnbqkbnr/pppppppp/8/8/8/N7/PPPPPPPP/RNBQKBNR w KQkq - 0 1');  // seventeen white men
    assert.equal(await page.textContent('#load-error'), '');
    await page.waitForFunction(() => /refused position/.test(document.getElementById('engine-says').textContent));
  });

  await t.test('a pasted PGN is stepped through, and the analysis follows', async () => {
    await load('[Event "Test"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 *');
    assert.deepEqual(await movesShown(page), ['e4', 'e5', 'Nf3', 'Nc6', 'Bb5', 'a6']);
    await page.click('#forward');
    await page.click('#forward');
    await page.click('#forward');
    const stepped = afterMoves(startFen, ['e4', 'e5', 'Nf3']);
    const number = `${new Chess(stepped).moveNumber()}...`;  // Black's move in the lines
    await page.waitForFunction((n) => document.querySelector('#lines li')?.textContent.split(' ')[1] === n, number);
    afterMoves(stepped, lineMoves(await page.textContent('#lines li')));
    await boardMatches(page, stepped);
    await page.keyboard.press('End');
    await boardMatches(page, afterMoves(startFen, ['e4', 'e5', 'Nf3', 'Nc6', 'Bb5', 'a6']));
  });

  await t.test('on a phone-sized screen nothing sticks out sideways', async () => {
    await page.setViewportSize({width: 390, height: 844});
    await page.waitForTimeout(300);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
    await page.screenshot({path: join(screenshots, 'phone.png'), fullPage: true});
  });

  assert.deepEqual(problems, []);
  await page.close();
});

test('without the two headers the page says why the engine cannot start', async () => {
  const page = await browser.newPage();
  await page.route('**/*', async (route) => {
    const response = await route.fetch();
    const headers = response.headers();
    delete headers['cross-origin-opener-policy'];
    delete headers['cross-origin-embedder-policy'];
    await route.fulfill({response, headers});
  });
  await page.goto(base + '/');
  await page.waitForSelector('#engine-failure:not([hidden])');
  assert.match(await page.textContent('#engine-failure'), /Cross-Origin-Embedder-Policy: require-corp/);
  await page.close();
});
