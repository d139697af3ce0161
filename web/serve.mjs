// make serve-web: the web build's folder over HTTP on this machine, with the
// two headers that make the page cross-origin isolated (without them a
// browser gives no SharedArrayBuffer, and the engine's threads cannot start).
//   node web/serve.mjs FOLDER [PORT]
import {createReadStream, statSync} from 'node:fs';
import {createServer} from 'node:http';
import {extname, join, normalize, resolve, sep} from 'node:path';

const root = resolve(process.argv[2] ?? 'build-web');
const port = Number(process.argv[3] ?? 8000);
const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm', '.svg': 'image/svg+xml', '.data': 'application/octet-stream',
  '.json': 'application/json', '.png': 'image/png',
};
export const isolationHeaders = {
  'Cross-Origin-Opener-Policy': 'same-origin',
  'Cross-Origin-Embedder-Policy': 'require-corp',
};

function fileFor(url) {
  const path = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  const file = normalize(join(root, path.endsWith('/') ? path + 'index.html' : path));
  if (file !== root && !file.startsWith(root + sep)) return null;  // nothing outside the folder
  try {
    return statSync(file).isFile() ? file : null;
  } catch {
    return null;
  }
}

const server = createServer((request, response) => {
  const file = request.method === 'GET' || request.method === 'HEAD' ? fileFor(request.url) : null;
  if (!file) {
    response.writeHead(404, {'Content-Type': 'text/plain', ...isolationHeaders});
    response.end('not found\n');
    return;
  }
  response.writeHead(200, {
    'Content-Type': types[extname(file)] ?? 'application/octet-stream',
    'Cache-Control': 'no-cache',
    ...isolationHeaders,
  });
  if (request.method === 'HEAD') response.end();
  else createReadStream(file).pipe(response);
});
server.listen(port, '127.0.0.1', () => console.log(`serving ${root} at http://127.0.0.1:${port}/`));
