// Serves a folder over HTTP on localhost with the types a page with WebAssembly needs: node's own
// http module, nothing to install. node serve.js FOLDER PORT; prints the address once it listens.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.json': 'application/json', '.toml': 'text/plain; charset=utf-8', '.png': 'image/png',
};

function serve(folder, port, host = '127.0.0.1') {
  const root = path.resolve(folder);
  // A loaded scenario travels in the page's address, escaped twice: room for the largest one.
  const server = http.createServer({ maxHeaderSize: 1 << 20 }, (request, response) => {
    let wanted;
    try {
      wanted = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch (error) {  // a malformed escape: this request's fault, not the server's end
      wanted = null;
    }
    if (wanted === null || wanted.includes('\0')) {  // no file has a NUL in its name
      response.writeHead(400, { 'Content-Type': 'text/plain' }).end('bad address\n');
      return;
    }
    let file = path.join(root, path.normalize(wanted));
    if (!file.startsWith(root)) {
      response.writeHead(403).end();
      return;
    }
    if (wanted.endsWith('/')) file = path.join(file, 'index.html');
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' }).end(data);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolve(server));
  });
}

module.exports = { serve };

if (require.main === module) {
  const [folder, port = '8000'] = process.argv.slice(2);
  if (!folder || !/^\d+$/.test(port) || +port > 65535) {
    console.error('usage: node serve.js FOLDER [PORT]');
    process.exit(2);
  }
  serve(folder, +port, 'localhost').then(
    (server) => console.log(`Serving ${folder} at http://localhost:${server.address().port}/ (Ctrl-C stops)`),
    (error) => {
      console.error(`serve.js: cannot listen on port ${port}: ${error.message}`);
      process.exit(1);
    });
}
