// The page's C functions in node, from the CommonJS twin (smoke-node.js), for the tests and the
// benchmark. The wasm is handed over as bytes: the glue would otherwise fetch() a file path, which
// node's fetch refuses.
'use strict';
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');

async function loadSmoke(modulePath) {
  const createSmoke = require(path.resolve(modulePath));
  const wasmBinary = fs.readFileSync(path.resolve(modulePath).replace(/\.js$/, '.wasm'));
  const m = await createSmoke({ wasmBinary, print: () => {}, printErr: () => {} });
  const { wrap } = await import(pathToFileURL(path.join(__dirname, 'smoke_api.mjs')));
  return wrap(m);
}

module.exports = { loadSmoke };
