// The page's side of the engine worker: the UCI handshake and the options the
// engine offers, one search after another, and its output read into plain
// objects. The worker is the one `make web` builds; any UCI worker that takes
// a line per message and answers a line per message would do.

// `option name NAME type TYPE [default D] [min N] [max N] [var V]...`
export function parseOption(line) {
  const m = /^option name (.+?) type (\S+)(.*)$/.exec(line);
  if (!m) return null;
  const option = {name: m[1], type: m[2], vars: []};
  const words = m[3].trim().split(/\s+/).filter(Boolean);
  for (let i = 0; i < words.length; i += 2) {
    const [key, value] = [words[i], words[i + 1]];
    if (key === 'var') option.vars.push(value);
    else if (key === 'min' || key === 'max') option[key] = Number(value);
    else if (key === 'default') option.default = value;
  }
  return option;
}

// `info ...`: the numbers it has, the score as {cp} or {mate}, the line of
// play as coordinate moves, and `string` for an `info string` line.
export function parseInfo(line) {
  const words = line.trim().split(/\s+/);
  if (words[0] !== 'info') return null;
  if (words[1] === 'string') return {string: line.replace(/^info\s+string\s?/, '')};
  const info = {};
  for (let i = 1; i < words.length; ++i) {
    const word = words[i];
    if (word === 'pv') {
      info.pv = words.slice(i + 1);
      break;
    }
    if (word === 'score') {
      const kind = words[++i];
      info.score = {[kind]: Number(words[++i])};
      if (words[i + 1] === 'lowerbound' || words[i + 1] === 'upperbound') info.score.bound = words[++i];
    } else if (['depth', 'seldepth', 'multipv', 'nodes', 'nps', 'time', 'hashfull'].includes(word)) {
      info[word] = Number(words[++i]);
    }
  }
  return info;
}

export class Engine {
  // `onLine` hears every line the engine writes, `onMessage` its `info string`
  // texts, `onFailure` why the worker stopped (or never started).
  constructor({url = 'drozak.js', onMessage = () => {}, onFailure = () => {}, onLine = () => {}} = {}) {
    this.options = new Map();
    this.name = '';
    this.searches = [];  // each `go` sent and not yet answered by its bestmove, oldest first
    this.waiters = [];
    this.onMessage = onMessage;
    this.onFailure = onFailure;
    this.onLine = onLine;
    this.worker = new Worker(url);
    this.worker.onmessage = (event) => this.read(String(event.data));
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(event.message || 'the engine worker could not be loaded');
    };
  }

  // The handshake: resolves with the engine's name once it has answered
  // `uciok` and `readyok`.
  async start() {
    this.send('uci');
    await this.until((line) => line === 'uciok');
    await this.ready();
    return this.name;
  }

  ready() {
    this.send('isready');
    return this.until((line) => line === 'readyok');
  }

  send(line) {
    this.worker.postMessage(line);
  }

  offers(name) {
    return this.options.has(name.toLowerCase());
  }

  option(name) {
    return this.options.get(name.toLowerCase());
  }

  setOption(name, value) {
    this.send(value === undefined ? `setoption name ${name}` : `setoption name ${name} value ${value}`);
  }

  // Searches the position after `moves` (coordinate moves) from `fen` with
  // `go` parameters such as 'depth 6', 'movetime 1000' or 'infinite'. `onInfo`
  // hears its info lines with a line of play; resolves with {move, ponder},
  // move 'none' when there is none ('0000').
  search({fen, moves = [], go, onInfo = () => {}}) {
    const start = fen ? `fen ${fen}` : 'startpos';
    this.send(`position ${start}${moves.length ? ' moves ' + moves.join(' ') : ''}`);
    this.send(`go ${go}`);
    return new Promise((resolve) => this.searches.push({onInfo, resolve}));
  }

  // Ends the running search; its promise still resolves with its move.
  stop() {
    if (this.searches.length) this.send('stop');
  }

  get searching() {
    return this.searches.length > 0;
  }

  terminate() {
    this.worker.terminate();
    this.fail('the engine was stopped');
  }

  // private

  read(line) {
    this.onLine(line);
    if (line.startsWith('id name ')) this.name = line.slice(8);
    const option = parseOption(line);
    if (option) this.options.set(option.name.toLowerCase(), option);
    if (line.startsWith('info')) {
      const info = parseInfo(line);
      if (info?.string !== undefined) this.onMessage(info.string);
      else if (info?.pv && this.searches.length) this.searches[0].onInfo(info);
    }
    const best = /^bestmove (\S+)(?: ponder (\S+))?/.exec(line);
    if (best && this.searches.length) {
      this.searches.shift().resolve({move: best[1] === '0000' ? 'none' : best[1], ponder: best[2]});
    }
    this.waiters = this.waiters.filter((waiter) => !waiter.test(line) || (waiter.resolve(), false));
  }

  until(test) {
    return new Promise((resolve, reject) => this.waiters.push({test, resolve, reject}));
  }

  fail(reason) {
    this.onFailure(reason);
    for (const waiter of this.waiters) waiter.reject(new Error(reason));
    this.waiters = [];
  }
}
