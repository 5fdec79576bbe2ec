// Headless Chromium driven over the DevTools protocol on a pipe (descriptors 3 and 4, messages of
// JSON each ended by a NUL), with node's standard library alone.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

class Browser {
  static async launch(executable = process.env.CHROMIUM || 'chromium') {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'smoke-chromium-'));
    // --no-sandbox: as root, and in containers, Chromium's sandbox cannot start. The software
    // renderer gives WebGL2 without a GPU.
    const child = spawn(executable, [
      '--headless=new', '--no-sandbox', '--enable-unsafe-swiftshader', '--use-angle=swiftshader',
      '--remote-debugging-pipe', '--no-first-run', '--no-default-browser-check', '--disable-gpu-sandbox',
      '--disable-dev-shm-usage', `--user-data-dir=${profile}`, '--window-size=1400,1000', 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    const browser = new Browser(child, profile);
    child.stderr.on('data', (data) => { browser.stderr += data; });
    const { targetInfos } = await browser.send('Target.getTargets');
    const page = targetInfos.find((t) => t.type === 'page');
    const { sessionId } = await browser.send('Target.attachToTarget', { targetId: page.targetId, flatten: true });
    browser.session = sessionId;
    return browser;
  }

  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.stderr = '';
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    this.exited = new Promise((resolve) => child.once('exit', resolve));
    let buffer = '';
    child.stdio[4].on('data', (data) => {
      buffer += data.toString('utf8');
      let end;
      while ((end = buffer.indexOf('\0')) >= 0) {
        const message = JSON.parse(buffer.slice(0, end));
        buffer = buffer.slice(end + 1);
        if (message.id && this.pending.has(message.id)) {
          const { resolve, reject, method } = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(`${method}: ${message.error.message}`));
          else resolve(message.result);
        } else if (message.method) {
          for (const listener of this.listeners) listener(message);
        }
      }
    });
    child.once('exit', (code) => {
      for (const { reject, method } of this.pending.values()) {
        reject(new Error(`${method}: Chromium ended (${code}): ${this.stderr.slice(-2000)}`));
      }
      this.pending.clear();
    });
  }

  send(method, params = {}, session = undefined) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (session) message.sessionId = session;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.child.stdio[3].write(`${JSON.stringify(message)}\0`);
    });
  }

  // A command to the page.
  page(method, params = {}) { return this.send(method, params, this.session); }

  on(listener) { this.listeners.push(listener); }

  async evaluate(expression) {
    const { result, exceptionDetails } = await this.page('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.exception?.description || exceptionDetails.text}`);
    return result.value;
  }

  // Polls expression until it is truthy; its value, or an error naming what was awaited.
  async waitFor(expression, what, seconds = 20) {
    const deadline = Date.now() + seconds * 1000;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) return value;
      if (Date.now() > deadline) throw new Error(`timed out after ${seconds} s waiting for ${what}`);
      await new Promise((resolve) => setTimeout(resolve, 25));
    }
  }

  async close() {
    try {
      await Promise.race([this.send('Browser.close'), this.exited]);
    } catch (error) {
      // It may have ended already.
    }
    await Promise.race([this.exited, new Promise((resolve) => setTimeout(resolve, 5000))]);
    if (this.child.exitCode === null) this.child.kill('SIGKILL');
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}

module.exports = { Browser };
