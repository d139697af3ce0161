// Drozak as a web worker: `new Worker('drozak.js')`, one UCI command line per
// postMessage(line), one line of the engine's output per message back (its
// `data` a string). emscripten runs this at the start of drozak.js, which
// the engine's thread workers load as well: those keep their messages for
// emscripten.
if (!Module['ENVIRONMENT_IS_PTHREAD']) {
  Module['print'] = (line) => postMessage(line);
  const send = (line) => Module['ccall']('drozak_input', null, ['string'], [String(line)]);
  let early = [];  // lines that came before the WebAssembly runtime was up
  self.onmessage = (event) => (early ? early.push(event.data) : send(event.data));
  Module['onRuntimeInitialized'] = () => {
    early.forEach(send);
    early = null;
  };
  // After `quit` the worker ends, as the console engine's process does.
  Module['onExit'] = () => self.close();
}
