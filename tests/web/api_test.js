// The page's core in node against the native smoke-steps: the same worlds print the same reports,
// byte for byte, through inf and nan, in both models; a bad option is refused in the same words.
// SMOKE_NODE_MODULE names the CommonJS twin, SMOKE_STEPS the native program, SMOKE_SCENARIOS the
// example scenarios.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { loadSmoke } = require('../../web/node_api.js');

const STEPS = process.env.SMOKE_STEPS;
const SCENARIOS = process.env.SMOKE_SCENARIOS;
const F = 'f'.charCodeAt(0);

let smoke;
before(async () => { smoke = await loadSmoke(process.env.SMOKE_NODE_MODULE); });

function native(steps, args) {
  return execFileSync(STEPS, [String(steps), ...args], { encoding: 'utf8', maxBuffer: 1 << 28 });
}

// Opens the world in the page's core and presses f `steps` times: all it printed.
function paged(steps, args) {
  assert.equal(smoke.open(args.join('\n')), 0, smoke.answer());
  for (let i = 0; i < steps; ++i) smoke.key(F);
  return smoke.takeOutput();
}

// A scenario file, put where the page's core reads it under the same name.
function withScenario(name) {
  const file = path.join(SCENARIOS, name);
  assert.equal(smoke.putFile(name, fs.readFileSync(file, 'utf8')), 0);
  return { page: ['--scenario', name], native: ['--scenario', file] };
}

const DEMO_WORLDS = [
  ['the running system, past its overflow to inf and nan', 200, []],
  ['the example of the address', 60, ['--size', '37x23', '--tau', '0.7', '--source', '5,22,0,1.5', '--source',
    '30,10,0,0.2', '--report-row', '4']],
  ['three planes', 80, ['--size', '20', '--planes', '3', '--source', '10,19,1,0.9']],
  ['a 512 x 512 sheet, which grows the heap', 3, ['--size', '512']],
];

for (const [name, steps, args] of DEMO_WORLDS) {
  test(`the demonstration's reports are the native ones: ${name}`, () => {
    const expected = native(steps, args);
    assert.ok(expected.split('\n').length > steps * 10);
    assert.equal(paged(steps, args), expected);
  });
}

test('the running system reaches inf and nan in the page as natively', () => {
  const text = paged(200, []);
  assert.match(text, /\binf\b/);
  assert.match(text, /\bnan\b/);
});

for (const name of ['channel.toml', 'plume.toml', 'cavity.toml', 'cylinder.toml']) {
  test(`the fluid's reports are the native ones: ${name}`, () => {
    const s = withScenario(name);
    assert.equal(paged(30, s.page), native(30, s.native));
  });
}

test("the fluid's options from the address's example are the native ones", () => {
  const args = ['--model', 'fluid', '--size', '30x20', '--boundary', 'top=wall:0.1,0,0', '--boundary', 'bottom=wall',
    '--puff', '15,10,0,2', '--obstacle', 'disc:8,10,3', '--source', '15,19,0,0.5'];
  assert.equal(paged(40, args), native(40, args));
});

for (const args of [['--tau', '0'], ['--size', '3x'], ['--model', 'gas'], ['--speed'], ['--tau', '1', '--tau', '2'],
  ['--nonsense', '1'], ['--boundary', 'up=wall']]) {
  test(`a refusal reads as the native one: ${args.join(' ')}`, () => {
    const run = spawnSync(STEPS, ['0', ...args], { encoding: 'utf8' });
    assert.equal(run.status, 2);
    const line = run.stderr.split('\n')[0].replace(/^smoke-steps: /, '');
    assert.equal(smoke.open(args.join('\n')), 2);
    assert.equal(smoke.answer(), line);
  });
}

test('--print-scenario gives the scenario as natively, and no world', () => {
  const args = ['--size', '12x9', '--tau', '0.61', '--source', '6,8,0,1', '--report-row', '3', '--print-scenario'];
  assert.equal(smoke.open(args.join('\n')), 1);
  assert.equal(smoke.answer(), native(0, args));
});

// Runs smoke-steps in a scratch folder holding `name` with `bytes`: its refusal's first line.
function nativeRefusalOfFile(name, bytes, args) {
  const folder = fs.mkdtempSync(path.join(require('os').tmpdir(), 'smoke-page-'));
  try {
    fs.writeFileSync(path.join(folder, name), bytes);
    const run = spawnSync(path.resolve(STEPS), ['0', '--scenario', name, ...args], { cwd: folder, encoding: 'utf8' });
    assert.equal(run.status, 2);
    return run.stderr.split('\n')[0].replace(/^smoke-steps: /, '');
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

test('values and files of any length and any bytes reach the core whole, and it goes on', () => {
  // The refusal quotes the start of the value: the native one of a value short enough for argv reads the same.
  const run = spawnSync(STEPS, ['0', '--tau', '1'.repeat(100000)], { encoding: 'utf8' });
  assert.equal(smoke.open(`--tau\n${'1'.repeat(1500000)}`), 2);
  assert.equal(smoke.answer(), run.stderr.split('\n')[0].replace(/^smoke-steps: /, ''));
  const files = [
    ['large.toml', Buffer.from('#'.repeat(1500000))],
    ['nul.toml', Buffer.from('[world]\ncolumns = 60\n\0junk = 1\n', 'latin1')],
    ['latin1.toml', Buffer.from('# caf\xe9\n[world]\ncolumns = 60\n', 'latin1')],
  ];
  for (const [name, bytes] of files) {
    assert.equal(smoke.putFile(name, bytes), 0, name);
    assert.equal(smoke.open(`--scenario\n${name}`), 2, name);
    assert.equal(smoke.answer(), nativeRefusalOfFile(name, bytes, []), name);
  }
  // A name the system has (a folder here) is a file like any other.
  assert.equal(smoke.putFile('tmp', '[world]\ncolumns = 60\n'), 0);
  assert.equal(smoke.open('--scenario\ntmp\n--print-scenario'), 1);
  assert.equal(paged(3, ['--size', '60']), native(3, ['--size', '60']));
});

test('a world too large for the page is refused before it is built, and the next one opens', () => {
  assert.equal(smoke.open(['--model', 'fluid', '--size', '3200x3200'].join('\n')), 2);
  assert.match(smoke.answer(), /^the 3200 x 3200 x 1 world needs [0-9.]+ GB of memory, and [0-9.]+ GB is available$/);
  assert.equal(paged(3, ['--size', '60']), native(3, ['--size', '60']));
});

test("a world that would fit but for the page's points is refused before it is built", () => {
  // 2265 x 2265 cells: their lattice alone fits in the 2 GB a page may have, with the page's 28 bytes
  // of points a cell it does not. Counted short, the world is built and fails while its points are.
  assert.equal(smoke.open('--size\n2265x2265'), 2);
  assert.match(smoke.answer(), /^the 2265 x 2265 x 1 world needs [0-9.]+ GB of memory, and [0-9.]+ GB is available$/);
});

test("worlds near the size of the page's memory open one after another, their points and all", () => {
  // Each needs more than half the memory a page may have: the one before must have let go of its
  // lattice and its points, the memory as well as the contents.
  for (const size of [2200, 2200]) {
    assert.equal(smoke.open(`--size\n${size}x${size}`), 0, smoke.answer());
    assert.equal(smoke.pointCount(), size * size);
  }
});

test('a file put again and again takes none of the memory for good', () => {
  // 72 times 32 MB is more than the most a page may have: each copy on its way to the file is let
  // go. Into a folder that is not there, the core refuses each at once, and the test stays quick.
  const bytes = Buffer.alloc(32 << 20, '#');
  for (let i = 0; i < 72; ++i) assert.equal(smoke.putFile('none/large.toml', bytes), 1, `the ${i + 1}th time`);
  assert.equal(paged(3, ['--size', '60']), native(3, ['--size', '60']));
});
