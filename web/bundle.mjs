// The page's part of `make web`: the page, its script and its styles bundled
// with the npm libraries they use (so that the page needs nothing from
// elsewhere once loaded), and the board's sprites, into the web build's folder.
//   node web/bundle.mjs FOLDER
import {build} from 'esbuild';
import {copyFileSync, mkdirSync} from 'node:fs';
import {dirname, join, resolve} from 'node:path';
import {fileURLToPath} from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const out = resolve(process.argv[2] ?? 'build-web');
const boardAssets = join(here, 'node_modules/cm-chessboard/assets');

await build({
  entryPoints: {page: join(here, 'page/app.js')},
  bundle: true,
  minify: true,
  format: 'esm',
  target: 'es2020',
  outdir: out,
  logLevel: 'warning',
});
await build({
  entryPoints: {page: join(here, 'page/style.css')},
  bundle: true,
  minify: true,
  outdir: out,
  logLevel: 'warning',
});
for (const [from, to] of [
  [join(here, 'page/index.html'), 'index.html'],
  [join(boardAssets, 'pieces/standard.svg'), 'assets/pieces/standard.svg'],
  [join(boardAssets, 'extensions/markers/markers.svg'), 'assets/extensions/markers/markers.svg'],
]) {
  mkdirSync(dirname(join(out, to)), {recursive: true});
  copyFileSync(from, join(out, to));
}
