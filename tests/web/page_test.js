// The page in headless Chromium, served as it would be published, driven by real key and mouse
// events: what it prints is what smoke-steps prints; a click, a drag, space, r and a fluid world's
// v, p and o work; a bad address is refused in smoke-steps's words; the form and the link carry the
// world; nothing raises an error. SMOKE_WEB_DIR names the page's folder, SMOKE_STEPS the native
// program; SMOKE_SCREENSHOT, if set, where the picture for the README goes.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { Browser } = require('./chromium.js');
const { serve } = require('../../web/serve.js');

const STEPS = process.env.SMOKE_STEPS;
const SCENARIOS = path.join(__dirname, '..', '..', 'scenarios');
let server, browser, base;
const errors = [];

before(async () => {
  server = await serve(process.env.SMOKE_WEB_DIR, 0);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await Browser.launch();
  browser.on((m) => {
    if (m.method === 'Runtime.exceptionThrown') errors.push(m.params.exceptionDetails.exception?.description);
    if (m.method === 'Runtime.consoleAPICalled' && m.params.type === 'error') errors.push(JSON.stringify(m.params.args));
    if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error') {
      errors.push(`${m.params.entry.text} ${m.params.entry.url || ''}`.trim());
    }
  });
  for (const domain of ['Runtime', 'Log', 'Page']) await browser.page(`${domain}.enable`);
});

after(async () => {
  await browser?.close();
  server?.close();
});

const native = (args) => execFileSync(STEPS, args, { encoding: 'utf8' });
const js = (expression) => browser.evaluate(expression);
const logText = () => js("document.getElementById('log').textContent");
const lines = (panel) => js(`Array.from(document.querySelectorAll('#${panel} .label'), (e) => e.textContent).join('\\n')`);
// Waits for a panel of the overlay, redrawn at the next frame, to match pattern; its lines.
const panel = (name, pattern) => browser.waitFor(
  `(() => { const t = Array.from(document.querySelectorAll('#${name} .label'), (e) => e.textContent).join('\\n');
    return ${pattern}.test(t) && t; })()`, `the ${name} panel to match ${pattern}`);
const picture = () => js("document.getElementById('world').toDataURL()");

// The page's state once a world asked for has opened, been refused or printed its text.
const settled = (what) => browser.waitFor(
  "document.readyState === 'complete' && !['', 'opening'].includes(document.body.dataset.state || '') && document.body.dataset.state", what);

async function load(query) {
  await browser.page('Page.navigate', { url: base + query });
  return settled(`the page at ${query.length > 80 ? `${query.slice(0, 80)}...` : query}`);
}

// smoke-steps's refusal of the scenario file `name` in `folder`, in the words of the page's problem.
function nativeRefusal(name, folder) {
  const run = spawnSync(STEPS, ['0', '--scenario', name], { cwd: folder, encoding: 'utf8' });
  assert.equal(run.status, 2);
  return run.stderr.split('\n')[0].replace(/^smoke-steps: /, 'smoke-page: ');
}
const problemLine = async () => (await js("document.getElementById('problem').textContent")).split('\n')[0];

const SUBMIT = "document.querySelector('#world-form button[type=submit]').click()";
// Sends the form, and waits for the world it asks for.
async function send() {
  await js(`(() => { document.body.dataset.state = ''; ${SUBMIT}; })()`);
  return settled('the world sent');
}

const KEY_CODES = { f: ['KeyF', 70], ' ': ['Space', 32], r: ['KeyR', 82], v: ['KeyV', 86], p: ['KeyP', 80], o: ['KeyO', 79] };
async function press(key, times = 1) {
  const [code, keyCode] = KEY_CODES[key];
  for (let i = 0; i < times; ++i) {
    await browser.page('Input.dispatchKeyEvent', { type: 'keyDown', key, code, text: key, windowsVirtualKeyCode: keyCode });
    await browser.page('Input.dispatchKeyEvent', { type: 'keyUp', key, code, windowsVirtualKeyCode: keyCode });
  }
}

// Mouse events at the centre of canvas pixel (x, y).
async function mouse(type, x, y, button = 'left') {
  const r = await js("(({left, top}) => ({left, top}))(document.getElementById('world').getBoundingClientRect())");
  const buttons = { left: 1, right: 2, middle: 4 }[button];
  await browser.page('Input.dispatchMouseEvent', {
    type, x: r.left + x + 0.5, y: r.top + y + 0.5, button, buttons: type === 'mouseReleased' ? 0 : buttons, clickCount: 1,
  });
}

async function drag(from, to, button = 'left') {
  await mouse('mousePressed', ...from, button);
  for (let i = 1; i <= 4; ++i) {
    await mouse('mouseMoved', from[0] + ((to[0] - from[0]) * i) / 4, from[1] + ((to[1] - from[1]) * i) / 4, button);
  }
  await mouse('mouseReleased', ...to, button);
}

// The figures of a line of text, in order.
const figures = (text) => text.match(/-?(?:\d+\.?\d*(?:e[-+]\d+)?|inf|nan)/g);

test('the running system in the page', async (t) => {
  assert.equal(await load(''), 'running');

  await t.test('40 presses of f print what smoke-steps 40 prints', async () => {
    await press('f', 40);
    const expected = native(['40']);
    await browser.waitFor(`document.getElementById('log').textContent.length >= ${expected.length}`, 'the 40th report');
    assert.equal(await logText(), expected);
    await panel('status', /^step 40, paused\n/);
  });

  await t.test("a click on the source's pixel selects it, with smoke-steps --probe's figures", async () => {
    // The source, cell 25,49 at (-1, 0, 24), seen from (100, 0, 2) toward (0, 0, 2): straight ahead
    // across, 22 above the line of sight at depth 101, a 45 degree field across 800 pixels and so
    // tan(22.5) * 600 / 800 upward over 300 pixels: y = 300 * (1 - 22 / (101 * 0.31066)) = 89.65.
    await mouse('mousePressed', 400, 89);
    await mouse('mouseReleased', 400, 89);
    const text = await browser.waitFor(
      "document.getElementById('log').textContent.split('\\n').find((l) => l.startsWith('Cell ')) || ''", 'the cell line');
    assert.match(text, /^Cell 25,49,0 at step 40: smoke /);
    const probe = native(['40', '--probe', '25,49,0']).trim().split('\n').pop().split(',');
    assert.equal(probe[0], '40');
    assert.deepEqual(figures(text.replace(/^Cell 25,49,0 at step 40:/, '')), probe.slice(4));
    await panel('cell', /^cell 25,49,0\nsmoke +\S+/);
    assert.equal(await js("document.getElementById('highlight').style.left"), '394px');
    if (process.env.SMOKE_SCREENSHOT) {
      const shot = await browser.page('Page.captureScreenshot', { format: 'png', clip: { x: 0, y: 0, width: 1400, height: 800, scale: 1 } });
      fs.writeFileSync(process.env.SMOKE_SCREENSHOT, Buffer.from(shot.data, 'base64'));
    }
  });

  await t.test('drags with each button move the view, and select nothing', async () => {
    const before = await logText();
    for (const button of ['left', 'middle', 'right']) {
      const shown = await picture();
      await drag([300, 300], [380, 260], button);
      await browser.waitFor(`document.getElementById('world').toDataURL() !== ${JSON.stringify(shown)}`, `the ${button} drag's view`);
    }
    assert.equal(await logText(), before);
  });

  await t.test('space plays and pauses, each step printed as smoke-steps prints it', async () => {
    await press(' ');
    await browser.waitFor("/^step (4[5-9]|[5-9]\\d|\\d{3,}), playing/.test(document.querySelector('#status .label').textContent)", 'play');
    await press(' ');
    await browser.waitFor("/paused$/.test(document.querySelector('#status .label').textContent)", 'pause');
    const step = Number((await lines('status')).match(/^step (\d+)/)[1]);
    const printed = (await logText()).split('\n').filter((l) => !l.startsWith('Cell ')).join('\n');
    assert.equal(printed, native([String(step)]));
  });

  await t.test('r resets to step 0, with the seeded smoke', async () => {
    await press('r');
    await browser.waitFor("document.querySelector('#status .label').textContent === 'step 0, paused'", 'the reset');
    await panel('status', /largest finite smoke 0\.42\ncells not finite: 0 of 2500/);
  });
});

test("a fluid world from an example scenario: v, then p and o on a selected cell", async () => {
  assert.equal(await load('?scenario=scenarios/channel.toml'), 'running');
  await panel('legend', /^points: smoke/);
  const shown = await picture();
  await press('v');
  await browser.waitFor("document.querySelector('#legend .label').textContent === 'points: speed |u|'", 'the speed view');
  await browser.waitFor(`document.getElementById('world').toDataURL() !== ${JSON.stringify(shown)}`, 'the speed drawn');
  await mouse('mousePressed', 560, 300);
  await mouse('mouseReleased', 560, 300);
  const cell = await browser.waitFor("(document.getElementById('log').textContent.match(/^Cell (\\d+,\\d+,0) at step 0: /m) || [])[1]", 'a selected cell');
  await press('p');
  await press('o');
  await press('o');
  const log = await logText();
  assert.ok(log.includes(`\nPuff ${cell} at step 0: 1\nObstacle ${cell} at step 0: on\nObstacle ${cell} at step 0: off\n`), log);
});

test("a bad address is refused in smoke-steps's words", async () => {
  assert.equal(await load('?size=37x23&tau=0'), 'refused');
  const run = spawnSync(STEPS, ['0', '--size', '37x23', '--tau', '0'], { encoding: 'utf8' });
  const refusal = run.stderr.split('\n')[0].replace(/^smoke-steps: /, '');
  assert.equal(await problemLine(), `smoke-page: ${refusal}`);
});

test('the form sets the world and its address, and the link copies it', async () => {
  assert.equal(await load('?size=37x23&tau=0.7&source=5,22,0,1.5&source=30,10,0,0.2&report-row=4'), 'running');
  assert.equal(await js("document.getElementById('option-source').value"), '5,22,0,1.5\n30,10,0,0.2');
  await js(`(() => {
    document.getElementById('option-size').value = '20';
    document.getElementById('option-tau').value = '';
    document.getElementById('option-source').value = '10,19,0,1';
    document.getElementById('option-report-row').value = '';
  })()`);
  assert.equal(await send(), 'running');
  assert.equal(await js('location.search'), '?size=20&source=10%2C19%2C0%2C1');
  await panel('status', /cells not finite: 0 of 400/);
  await js("document.getElementById('copy-link').click()");
  assert.equal(await js("document.getElementById('link').value"), `${base}?size=20&source=10%2C19%2C0%2C1`);
  await press('f', 3);
  await browser.waitFor("document.getElementById('log').textContent.split('\\n').length > 30", 'three reports');
  assert.equal(await logText(), native(['3', '--size', '20', '--source', '10,19,0,1']));
});

// Chooses a file in the form, whose reading the page then waits on until the test calls
// finishRead(true), or finishRead(false) for a file that cannot be read. finishRead settles once
// the read has; what the page does with it runs before the page answers the test again.
async function chooseHeldFile(file) {
  await js(`(() => {
    delete window.finishRead;
    const arrayBuffer = Blob.prototype.arrayBuffer;
    Blob.prototype.arrayBuffer = function () {
      Blob.prototype.arrayBuffer = arrayBuffer;
      return new Promise((resolve) => {
        window.finishRead = (ok) => {
          const read = ok ? arrayBuffer.call(this) : Promise.reject(new Error('the disk said no'));
          resolve(read);
          return read.then(() => {}, () => {});
        };
      });
    };
  })()`);
  const { root } = await browser.page('DOM.getDocument');
  const { nodeId } = await browser.page('DOM.querySelector', { nodeId: root.nodeId, selector: '#scenario-file' });
  await browser.page('DOM.setFileInputFiles', { nodeId, files: [file] });
  await browser.waitFor("typeof window.finishRead === 'function'", 'the file being read');
}

// Chooses an example in the form, or '' for none.
const chooseExample = (name) => js(`(() => {
  const examples = document.getElementById('examples');
  examples.value = ${JSON.stringify(name)};
  examples.dispatchEvent(new Event('change'));
})()`);

// The choice of a file cancelled, as browsers that then empty the file's field report it.
const cancelFile = () => js(`(() => {
  const input = document.getElementById('scenario-file');
  input.value = '';
  input.dispatchEvent(new Event('change'));
})()`);

// The text of the scenario the page's address carries in a data: address, or null.
const sentText = () => js(`(() => {
  const scenario = new URLSearchParams(location.search).get('scenario');
  return scenario?.startsWith('data:text/plain,') ? decodeURIComponent(scenario.slice(16)) : scenario;
})()`);

test('the form sends the scenario chosen last, whenever a file is read', async () => {
  const twoSources = fs.readFileSync(path.join(SCENARIOS, 'two-sources.toml'), 'utf8');
  assert.equal(await load(''), 'running');
  // An example chosen while a file is being read is the one sent. (Each file chosen differs from
  // the one before: choosing the same again is no change.)
  await chooseHeldFile(path.join(SCENARIOS, 'channel.toml'));
  await chooseExample('scenarios/two-sources.toml');
  await js('finishRead(true)');
  assert.equal(await send(), 'running');
  assert.equal(await js('location.search'), '?scenario=scenarios%2Ftwo-sources.toml');
  // A file read after an example was chosen is the one sent.
  await chooseHeldFile(path.join(SCENARIOS, 'two-sources.toml'));
  await js('finishRead(true)');
  assert.equal(await js("document.getElementById('examples').value"), '');
  assert.equal(await send(), 'running');
  assert.equal(await sentText(), twoSources);
  // A choice cancelled while its file is read keeps the scenario the form had.
  await chooseHeldFile(path.join(SCENARIOS, 'channel.toml'));
  await cancelFile();
  await js('finishRead(true)');
  assert.equal(await send(), 'running');
  assert.equal(await sentText(), twoSources);
  // So does a choice cancelled after a file that could not be read.
  await chooseHeldFile(path.join(SCENARIOS, 'channel.toml'));
  await js('finishRead(false)');
  await cancelFile();
  assert.equal(await send(), 'running');
  assert.equal(await sentText(), twoSources);
  // No example after a loaded file: no scenario.
  await chooseExample('');
  assert.equal(await send(), 'running');
  assert.equal(await js('location.search'), '');
});

test('a scenario file loaded into the form runs, and travels in the link', async () => {
  assert.equal(await load(''), 'running');
  await chooseHeldFile(path.join(SCENARIOS, 'two-sources.toml'));
  // Sent while the file is still being read, the form waits for it.
  await js(`(() => {
    document.getElementById('option-size').value = '';
    document.body.dataset.state = '';
    ${SUBMIT};
  })()`);
  await js('finishRead(true)');
  assert.equal(await settled('the world with the file'), 'running');
  assert.match(await js('location.search'), /^\?scenario=data/);
  await press('f', 2);
  const expected = native(['2', '--scenario', path.join(SCENARIOS, 'two-sources.toml')]);
  await browser.waitFor(`document.getElementById('log').textContent.length >= ${expected.length}`, 'two reports');
  assert.equal(await logText(), expected);
  // The link opens the same world, and its form keeps the file's scenario.
  const link = await js('location.href');
  assert.equal(await load(link.slice(base.length)), 'running');
  assert.equal(await send(), 'running');
  assert.equal(await js('location.href'), link);
  await press('f', 2);
  await browser.waitFor(`document.getElementById('log').textContent.length >= ${expected.length}`, 'two reports again');
  assert.equal(await logText(), expected);
});

test('a loaded file travels whole in the link: the largest a scenario may be, byte for byte', async () => {
  const folder = fs.mkdtempSync(path.join(require('os').tmpdir(), 'smoke-page-'));
  try {
    // Near the scenario's 32 KB, in words and spaces, which the link escapes twice.
    const large = path.join(folder, 'large.toml');
    fs.writeFileSync(large, `${'# a line of words to fill the file\n'.repeat(900)}[world]\ncolumns = 60\n`);
    assert.equal(await load(''), 'running');
    await chooseHeldFile(large);
    await js('finishRead(true)');
    await js("document.getElementById('option-size').value = ''");
    assert.equal(await send(), 'running');
    await panel('status', /cells not finite: 0 of 3000$/);
    const link = await js('location.href');
    assert.ok(link.length > 60000, `${link.length}`);
    assert.equal(await load(link.slice(base.length)), 'running');
    await panel('status', /cells not finite: 0 of 3000$/);
    // A byte that is not UTF-8 reaches the scenario reader as it is, and is refused as natively.
    const latin1 = path.join(folder, 'scenario.toml');
    fs.writeFileSync(latin1, Buffer.from('# caf\xe9\n[world]\ncolumns = 60\n', 'latin1'));
    await chooseHeldFile(latin1);
    await js('finishRead(true)');
    assert.equal(await send(), 'refused');
    assert.equal(await problemLine(), nativeRefusal('scenario.toml', folder));
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

test('a form sent while files are still being chosen waits for the last one, whose failure alone counts', async () => {
  const channel = fs.readFileSync(path.join(SCENARIOS, 'channel.toml'), 'utf8');
  assert.equal(await load(''), 'running');
  for (const [first, read] of [['two-sources.toml', true], ['cavity.toml', false]]) {
    await chooseHeldFile(path.join(SCENARIOS, first));
    await js('window.finishFirst = finishRead');
    await js(`(() => {
      document.getElementById('option-size').value = '';
      document.body.dataset.state = '';
      ${SUBMIT};
    })()`);
    await chooseHeldFile(path.join(SCENARIOS, 'channel.toml'));
    await js(`finishFirst(${read})`);
    await js('finishRead(true)');
    assert.equal(await settled(`the world with the last file, after ${first}`), 'running');
    assert.equal(await sentText(), channel);
  }
});

test("a loaded file's % signs and what looks like an escape travel in the link as they are", async () => {
  const folder = fs.mkdtempSync(path.join(require('os').tmpdir(), 'smoke-page-'));
  try {
    const text = '# 100% of %41 and %zz, as written\n[world]\ncolumns = 60\n';
    fs.writeFileSync(path.join(folder, 'percent.toml'), text);
    assert.equal(await load(''), 'running');
    await chooseHeldFile(path.join(folder, 'percent.toml'));
    await js('finishRead(true)');
    await js("document.getElementById('option-size').value = ''");
    assert.equal(await send(), 'running');
    await panel('status', /cells not finite: 0 of 3000$/);
    assert.equal(await sentText(), text);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

// The page's next fetch answers when the test calls finishFetch(body), with that text, or
// finishFetch(null, status, statusText) with that failure. What the page does with a failure runs
// before the page answers the test again.
const holdNextFetch = () => js(`(() => {
  delete window.finishFetch;
  const fetch = window.fetch;
  window.fetch = () => {
    window.fetch = fetch;
    return new Promise((resolve) => {
      window.finishFetch = (body, status = 200, statusText = 'OK') => resolve({
        ok: status >= 200 && status < 300, status, statusText,
        arrayBuffer: () => { window.scenarioRead = true; return Promise.resolve(new TextEncoder().encode(body).buffer); } });
    });
  };
})()`);

// Sends the form with an example's scenario, which the page then fetches, held by holdNextFetch.
async function sendHeldExample(name) {
  await js(`(() => {
    document.getElementById('examples').value = ${JSON.stringify(name)};
    document.getElementById('option-size').value = '';
    ${SUBMIT};
  })()`);
  await browser.waitFor("typeof window.finishFetch === 'function'", 'the scenario being fetched');
  assert.equal(await js('document.body.dataset.state'), 'opening');
}

// Whether every pixel of the world's canvas is opaque black.
const blank = () => js(`(() => {
  const world = document.getElementById('world');
  const copy = document.createElement('canvas');
  copy.width = world.width;
  copy.height = world.height;
  const context = copy.getContext('2d');
  context.drawImage(world, 0, 0);
  return context.getImageData(0, 0, copy.width, copy.height).data.every((v, i) => v === (i % 4 === 3 ? 255 : 0));
})()`);

test('a world asked for while an earlier one waits for its scenario is the one that opens', async () => {
  assert.equal(await load(''), 'running');
  await holdNextFetch();
  await sendHeldExample('scenarios/two-sources.toml');
  await js(`(() => {
    document.getElementById('examples').value = '';
    document.getElementById('option-size').value = '60';
  })()`);
  assert.equal(await send(), 'running');
  await panel('status', /cells not finite: 0 of 3600/);
  const scenario = fs.readFileSync(path.join(SCENARIOS, 'two-sources.toml'), 'utf8');
  await js(`finishFetch(${JSON.stringify(scenario)})`);
  // What follows the read runs before the page answers again; two frames later the panel shows it.
  await browser.waitFor('window.scenarioRead', 'the late scenario read');
  await js('new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)))');
  assert.match(await lines('status'), /cells not finite: 0 of 3600/);
  assert.equal(await js('location.search'), '?size=60');
});

test('a world refused after one ran empties the canvas; an earlier one refused late leaves the later', async () => {
  assert.equal(await load('?size=60'), 'running');
  await holdNextFetch();
  await sendHeldExample('scenarios/two-sources.toml');
  await js("document.getElementById('option-size').value = '60'");
  assert.equal(await send(), 'running');
  await js("finishFetch(null, 404, 'Not Found')");
  assert.equal(await js('document.body.dataset.state'), 'running');
  assert.equal(await js("document.getElementById('problem').hidden"), true);
  await panel('status', /cells not finite: 0 of 3600/);
  assert.equal(await blank(), false);
  // Refused when it is the last world asked for: the reason, with the server's bare status.
  await holdNextFetch();
  await sendHeldExample('scenarios/two-sources.toml');
  await js("finishFetch(null, 500, '')");
  assert.equal(await js('document.body.dataset.state'), 'refused');
  assert.equal(await js("document.getElementById('problem').textContent"),
    "smoke-page: cannot read the scenario 'scenarios/two-sources.toml': 500\n" +
    'usage: the world options of smoke-steps, as ?option=value&...');
  assert.equal(await blank(), true);
});

test("a scenario or a file that cannot be read is refused, as smoke-steps refuses a missing file", async () => {
  assert.equal(await load('?scenario=scenarios/none.toml'), 'refused');
  assert.equal(await js("document.getElementById('problem').textContent"),
    "smoke-page: cannot read the scenario 'scenarios/none.toml': 404 Not Found\n" +
    'usage: the world options of smoke-steps, as ?option=value&...');
  for (const [query, line] of [
    // A data: address the browser cannot read is named as the page names its text, scenario.toml.
    ['?scenario=data:foo', "cannot read the scenario 'scenario.toml': Failed to fetch"],
    // A malformed escape, or a NUL in a path, is the server's 400, and the server goes on.
    ['?scenario=%25', "cannot read the scenario '%': 400 Bad Request"],
    ['?scenario=a%2500.toml', "cannot read the scenario 'a%00.toml': 400 Bad Request"],
    ['?size=60%000', 'the value of size holds a NUL character'],
    ['?size=60%0A70', 'the value of size holds a line break'],
  ]) {
    assert.equal(await load(query), 'refused', query);
    assert.equal(await problemLine(), `smoke-page: ${line}`);
  }
  // A chosen file the browser cannot read is named, and the world stays.
  assert.equal(await load('?size=60'), 'running');
  await chooseHeldFile(path.join(SCENARIOS, 'two-sources.toml'));
  await js('finishRead(false)');
  await js(SUBMIT);
  assert.equal(await browser.waitFor("document.getElementById('problem').textContent", 'the problem'),
    'smoke-page: cannot read two-sources.toml: the disk said no');
  assert.equal(await js('location.search'), '?size=60');
  assert.equal(await js('document.body.dataset.state'), 'running');
});

test("a fetched scenario's file is named by its address's path alone, unescaped", async () => {
  // %73 is s: the file is style.css, refused as smoke-steps refuses that file; the query is the server's.
  assert.equal(await load('?scenario=%2573tyle.css%3Fv%3D1'), 'refused');
  assert.equal(await problemLine(), nativeRefusal('style.css', process.env.SMOKE_WEB_DIR));
  // The page's folder names no file (the server answers with its index.html): scenario.toml.
  const folder = fs.mkdtempSync(path.join(require('os').tmpdir(), 'smoke-page-'));
  try {
    fs.copyFileSync(path.join(process.env.SMOKE_WEB_DIR, 'index.html'), path.join(folder, 'scenario.toml'));
    assert.equal(await load('?scenario=.%2F'), 'refused');
    assert.equal(await problemLine(), nativeRefusal('scenario.toml', folder));
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
  // An escaped slash names no folder of the page's: scenario.toml again, whose world runs.
  assert.equal(await load('?scenario=scenarios%252Fchannel.toml'), 'running');
  await panel('legend', /^points: smoke/);
});

test('a world whose frame fails stops, said so, and the page opens the next', async () => {
  assert.equal(await load('?size=60'), 'running');
  // The next drawing fails once, as a lost context's would.
  await js(`(() => {
    const drawArrays = WebGL2RenderingContext.prototype.drawArrays;
    WebGL2RenderingContext.prototype.drawArrays = function () {
      WebGL2RenderingContext.prototype.drawArrays = drawArrays;
      throw new Error('the context is lost');
    };
  })()`);
  await press('f');
  await browser.waitFor("document.body.dataset.state === 'refused'", 'the world to stop');
  assert.equal(await js("document.getElementById('problem').textContent"), 'smoke-page: the world stopped: the context is lost');
  // Stopped: keys step it no more, and the frames that follow leave the canvas empty.
  const log = await logText();
  await press('f');
  await js('new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)))');
  assert.equal(await logText(), log);
  assert.equal(await blank(), true);
  assert.equal(await send(), 'running');
  await panel('status', /cells not finite: 0 of 3600$/);
  assert.equal(await blank(), false);
});

test('the form sent again with the same address is a reset, not another step in the history', async () => {
  // A page before it, which a step back from ?size=60 would reach were ?size=60 replaced.
  assert.equal(await load('?size=80'), 'running');
  assert.equal(await load('?size=60'), 'running');
  await js("document.getElementById('option-size').value = '50'");
  assert.equal(await send(), 'running');
  assert.equal(await send(), 'running');
  assert.equal(await js('location.search'), '?size=50');
  await js("(() => { document.body.dataset.state = ''; history.back(); })()");
  assert.equal(await settled('the world one step back'), 'running');
  assert.equal(await js('location.search'), '?size=60');
  await panel('status', /cells not finite: 0 of 3600$/);
  // At the bare address too, where the query and the address's are both empty.
  assert.equal(await load(''), 'running');
  const length = await js('history.length');
  assert.equal(await send(), 'running');
  assert.equal(await js('history.length'), length);
});

test("the core's own failure to open a world is said, without the usage, and the next world opens", async () => {
  assert.equal(await load('?size=60'), 'running');
  // The arguments' encoding on their way into the core fails once, as when its memory is out.
  await js(`(() => {
    const encode = TextEncoder.prototype.encode;
    TextEncoder.prototype.encode = function () {
      TextEncoder.prototype.encode = encode;
      throw new Error('no memory for 7 bytes');
    };
  })()`);
  assert.equal(await send(), 'refused');
  assert.equal(await js("document.getElementById('problem').textContent"),
    'smoke-page: cannot open the world: no memory for 7 bytes');
  assert.equal(await blank(), true);
  assert.equal(await send(), 'running');
});

test('nothing on the page raised an error', () => {
  // But the browser's word on the scenarios the test above could not fetch.
  assert.deepEqual(errors.filter((e) => !/(\/scenarios\/none\.toml| data:foo|\/%|\/a%00\.toml)$/.test(e)), []);
});
