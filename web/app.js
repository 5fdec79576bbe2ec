// The page: the explore viewer over the core in WebAssembly. The core (smoke.js) keeps the world,
// the camera and the overlay's layout; this draws the points with WebGL2, lays the overlay out in
// HTML, forwards keys and drags, and turns the address's query into the command line's arguments.
import createSmoke from './smoke.js';
import { wrap } from './smoke_api.mjs';

// The reference cube of the desktop's drawing: each face's colour and corners, counter-clockwise
// seen from outside.
const CUBE_FACES = [
  [[0, 1, 0], [[1, 1, -1], [-1, 1, -1], [-1, 1, 1], [1, 1, 1]]],
  [[1, 0.5, 0], [[1, -1, 1], [-1, -1, 1], [-1, -1, -1], [1, -1, -1]]],
  [[1, 0, 0], [[1, 1, 1], [-1, 1, 1], [-1, -1, 1], [1, -1, 1]]],
  [[1, 1, 0], [[1, -1, -1], [-1, -1, -1], [-1, 1, -1], [1, 1, -1]]],
  [[0, 0, 1], [[-1, 1, 1], [-1, 1, -1], [-1, -1, -1], [-1, -1, 1]]],
  [[1, 0, 1], [[1, 1, -1], [1, 1, 1], [1, -1, 1], [1, -1, -1]]],
];
// Every face keeps the normal (0, 0, 1) under the light from (1, 1, 1): ambient 0.2 and the cosine.
const POINT_LIGHT = 0.2 + 0.5773502691896258;
const HIGHLIGHT_HALF = 6;
// The keys the core takes, by the character it knows them by.
const KEYS = { f: 102, F: 102, ' ': 32, r: 114, R: 114, v: 118, V: 118, p: 112, P: 112, o: 111, O: 111 };

// The command line's world options, in --help's order; the repeatable ones take a value a line.
const OPTIONS = [
  ['model', false, 'demo or fluid'], ['size', false, 'COLUMNSxROWS or N'], ['planes', false, 'N'],
  ['tau', false, 'T'], ['speed', false, 'S'], ['source', true, 'X,Y,PLANE,SMOKE'], ['report-row', false, 'R'],
  ['boundary', true, 'FACE=KIND[:UX,UY,UZ]'], ['obstacle', true, 'disc:X,Y,R or box:X0,Y0,X1,Y1'],
  ['force', false, 'FX,FY,FZ'], ['buoyancy', false, 'B'], ['flow', false, 'UX,UY,UZ'], ['taylor-green', false, 'U'],
  ['diffusivity', false, 'D'], ['puff', true, 'X,Y,PLANE,SMOKE'],
];

const $ = (id) => document.getElementById(id);
const canvas = $('world');
const overlay = $('overlay');
const highlight = $('highlight');
const log = $('log');

let api = null;
let running = false;  // a world is open
let dirty = true;     // the picture is out of date
let dragging = false;
let pointsChanges = -1;
let pointCount = 0;
let overlayText = '';
let font = null;

// ---- Drawing ----

const gl = canvas.getContext('webgl2', { antialias: false, preserveDrawingBuffer: true });

function compile(type, source) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, source);
  gl.compileShader(shader);
  if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
  return shader;
}

function makeProgram() {
  const program = gl.createProgram();
  gl.attachShader(program, compile(gl.VERTEX_SHADER, `#version 300 es
    uniform mat4 transform;
    layout(location = 0) in vec3 position;
    layout(location = 1) in vec3 colour;
    layout(location = 2) in float size;
    out vec3 shown;
    void main() {
      gl_Position = transform * vec4(position, 1.0);
      gl_PointSize = size;
      shown = colour;
    }`));
  gl.attachShader(program, compile(gl.FRAGMENT_SHADER, `#version 300 es
    precision mediump float;
    in vec3 shown;
    out vec4 pixel;
    void main() { pixel = vec4(shown, 1.0); }`));
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
  return program;
}

// Seven floats a vertex, as the core gives its points: position, colour as shown, point size.
function makeVertexArray(buffer) {
  const vao = gl.createVertexArray();
  gl.bindVertexArray(vao);
  gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
  gl.enableVertexAttribArray(0);
  gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 28, 0);
  gl.enableVertexAttribArray(1);
  gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 28, 12);
  gl.enableVertexAttribArray(2);
  gl.vertexAttribPointer(2, 1, gl.FLOAT, false, 28, 24);
  gl.bindVertexArray(null);
  return vao;
}

let program, transformAt, cubeArray, pointBuffer, pointArray;

function setUpDrawing() {
  program = makeProgram();
  transformAt = gl.getUniformLocation(program, 'transform');
  const cube = [];
  for (const [colour, corners] of CUBE_FACES) {
    const shown = colour.map((c) => Math.min(c * POINT_LIGHT, 1));
    for (const i of [0, 1, 2, 0, 2, 3]) cube.push(...corners[i], ...shown, 1);
  }
  const cubeBuffer = gl.createBuffer();
  gl.bindBuffer(gl.ARRAY_BUFFER, cubeBuffer);
  gl.bufferData(gl.ARRAY_BUFFER, new Float32Array(cube), gl.STATIC_DRAW);
  cubeArray = makeVertexArray(cubeBuffer);
  pointBuffer = gl.createBuffer();
  pointArray = makeVertexArray(pointBuffer);
}

// gluPerspective times gluLookAt (up along z), column by column.
function transform(c) {
  const [ex, ey, ez, tx, ty, tz, fovy, aspect, near, far] = c;
  const f = 1 / Math.tan((fovy * Math.PI) / 360);
  const projection = [f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
    0, 0, (2 * far * near) / (near - far), 0];
  const unit = (v) => { const l = Math.hypot(...v); return v.map((x) => x / l); };
  const fw = unit([tx - ex, ty - ey, tz - ez]);
  const side = unit([fw[1], -fw[0], 0]);
  const up = [side[1] * fw[2] - side[2] * fw[1], side[2] * fw[0] - side[0] * fw[2], side[0] * fw[1] - side[1] * fw[0]];
  const eye = [ex, ey, ez];
  const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  const view = [side[0], up[0], -fw[0], 0, side[1], up[1], -fw[1], 0, side[2], up[2], -fw[2], 0,
    -dot(side, eye), -dot(up, eye), dot(fw, eye), 1];
  const out = new Float32Array(16);
  for (let col = 0; col < 4; ++col) {
    for (let row = 0; row < 4; ++row) {
      let sum = 0;
      for (let k = 0; k < 4; ++k) sum += projection[k * 4 + row] * view[col * 4 + k];
      out[col * 4 + row] = sum;
    }
  }
  return out;
}

function draw() {
  if (api.changes() !== pointsChanges) {
    pointCount = api.pointCount();
    const heap = api.module.HEAPF32;
    const start = api.pointData() / 4;
    gl.bindBuffer(gl.ARRAY_BUFFER, pointBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, heap.subarray(start, start + pointCount * 7), gl.DYNAMIC_DRAW);
    pointsChanges = api.changes();
  }
  const at = api.camera() / 8;
  const c = Array.from(api.module.HEAPF64.subarray(at, at + 12));
  gl.viewport(0, 0, canvas.width, canvas.height);
  gl.clearColor(0, 0, 0, 1);
  gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
  gl.enable(gl.DEPTH_TEST);
  gl.depthFunc(gl.LESS);
  gl.enable(gl.CULL_FACE);
  gl.useProgram(program);
  gl.uniformMatrix4fv(transformAt, false, transform(c));
  gl.bindVertexArray(cubeArray);
  gl.drawArrays(gl.TRIANGLES, 0, 36);
  gl.bindVertexArray(pointArray);
  if (pointCount > 0) gl.drawArrays(gl.POINTS, 0, pointCount);
  gl.bindVertexArray(null);
  const [hx, hy] = [c[10], c[11]];
  const near = Number.isFinite(hx) && hx > -canvas.width && hx < 2 * canvas.width && hy > -canvas.height &&
    hy < 2 * canvas.height;
  highlight.hidden = !near;
  if (near) {
    highlight.style.left = `${hx - HIGHLIGHT_HALF}px`;
    highlight.style.top = `${hy - HIGHLIGHT_HALF}px`;
  }
}

// ---- The overlay, laid out by the core for the page's monospace font ----

function measureFont() {
  const probe = document.createElement('canvas').getContext('2d');
  probe.font = '11px monospace';
  const m = probe.measureText('M');
  return {
    family: '11px monospace',
    width: Math.round(m.width),
    ascent: Math.ceil(m.fontBoundingBoxAscent ?? 10),
    descent: Math.ceil(m.fontBoundingBoxDescent ?? 3),
  };
}

function box(element, [x, y, w, h]) {
  element.style.left = `${x}px`;
  element.style.top = `${y}px`;
  element.style.width = `${w}px`;
  element.style.height = `${h}px`;
  return element;
}

function element(className, parent) {
  const e = document.createElement('div');
  e.className = className;
  parent.appendChild(e);
  return e;
}

const rgb = (c) => `rgb(${c.map((x) => Math.round(x * 255)).join(',')})`;

function addLabels(panel, labels, into) {
  for (const [text, x, baseline] of labels) {
    const label = element('label', into);
    label.textContent = text;
    label.style.left = `${x}px`;
    label.style.top = `${baseline - font.ascent}px`;
    label.style.font = font.family;
    label.style.lineHeight = `${font.ascent + font.descent}px`;
  }
}

function updateOverlay() {
  const text = api.overlay(font.width, font.ascent, font.descent);
  if (text === overlayText) return;
  overlayText = text;
  const layout = JSON.parse(text);
  overlay.replaceChildren();
  for (const name of ['status', 'cell', 'keys', 'legend']) {
    const panel = layout[name];
    if (!panel) continue;
    const group = element('group', overlay);
    group.id = name;
    box(element('panel', group), panel.box);
    if (name === 'legend') drawLegend(panel, group);
    addLabels(panel, panel.labels, group);
  }
}

function drawLegend(legend, into) {
  const bar = box(element('bar', into), legend.bar);
  if (legend.speed) {
    bar.style.background = `linear-gradient(to right, ${legend.map.map(rgb).join(', ')})`;
  } else {
    const [x, , w] = legend.bar;
    const full = ((legend.full - x) / w) * 100;
    bar.style.background = `linear-gradient(to right, #000 0%, ${rgb(legend.smokeColour)} ${full}%, ` +
      `${rgb(legend.smokeColour)} 100%)`;
  }
  const bottom = legend.bar[1] + legend.bar[3];
  for (const tick of legend.ticks) box(element('tick', into), [tick, bottom, 1, legend.tickLength]).style.background = '#fff';
  if (legend.marker) box(element('swatch', into), legend.marker).style.background = rgb(legend.markerColour);
  if (legend.obstacle) box(element('swatch', into), legend.obstacle).style.background = rgb(legend.obstacleColour);
  const [sx, sy, side] = legend.square;
  box(element('square', into), [sx, sy, side - 2, side - 2]).style.border = '1px solid #fff';
}

// ---- What the desktop would print ----

function flushOutput() {
  const text = api.takeOutput();
  if (!text) return;
  const atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
  log.appendChild(document.createTextNode(text));
  if (atEnd) log.scrollTop = log.scrollHeight;
}

// ---- Input ----

function pixel(event) {
  const r = canvas.getBoundingClientRect();
  return [Math.floor(event.clientX - r.left), Math.floor(event.clientY - r.top)];
}

canvas.addEventListener('contextmenu', (event) => event.preventDefault());
canvas.addEventListener('pointerdown', (event) => {
  if (!running || event.button > 2) return;
  canvas.focus();
  canvas.setPointerCapture(event.pointerId);
  api.press(event.button, ...pixel(event));
  dragging = true;
  dirty = true;
  event.preventDefault();
});
canvas.addEventListener('pointermove', (event) => {
  if (!running || !dragging) return;
  api.move(...pixel(event));
  dirty = true;
});
canvas.addEventListener('pointerup', (event) => {
  if (!running || !dragging) return;
  api.release(...pixel(event));
  dragging = false;
  dirty = true;
  flushOutput();
});
document.addEventListener('keydown', (event) => {
  const target = event.target;
  if (!running || event.ctrlKey || event.metaKey || event.altKey) return;
  if (target instanceof HTMLInputElement || target instanceof HTMLTextAreaElement || target instanceof HTMLSelectElement) return;
  if (!(event.key in KEYS)) return;
  event.preventDefault();  // space would scroll
  api.key(KEYS[event.key]);
  dirty = true;
  flushOutput();
});

function frame() {
  try {
    if (running) {
      const playing = api.tick();
      if (playing) {
        dirty = true;
        flushOutput();
      }
      if (dirty) {
        draw();
        updateOverlay();
        dirty = false;
      }
    }
  } catch (error) {  // the world stops, said so; the page goes on, and the form opens another
    running = false;
    refuse(`the world stopped: ${error.message || error}`, false);
  }
  requestAnimationFrame(frame);
}

// ---- The world: the address's query as the command line's arguments ----

function showProblem(text) {
  const problem = $('problem');
  problem.textContent = text;
  problem.hidden = !text;
}

// The name a fetched scenario's file takes: the last name in its address's path (its query and
// fragment are the server's), or scenario.toml where that is none a file can have.
function scenarioName(url) {
  let name = url.pathname.split('/').pop();
  try {
    name = decodeURIComponent(name);
  } catch (error) {
    // Kept as it is written.
  }
  return url.protocol === 'data:' || ['', '.', '..'].includes(name) || /[/\0]/.test(name) ? 'scenario.toml' : name;
}

// A scenario named in the query is fetched, relative to the page (or a data: address), and its
// bytes put where the core's scenario reader finds them. One that cannot be fetched is refused as
// smoke-steps refuses a file it cannot read, with the server's or the browser's reason.
async function fetchScenario(address) {
  let reason;
  try {
    const url = new URL(address, location.href);
    const response = await fetch(url);
    const name = scenarioName(url);
    if (response.ok && api.putFile(name, new Uint8Array(await response.arrayBuffer())) === 0) return name;
    reason = response.ok ? 'cannot store it in the page' : `${response.status} ${response.statusText}`.trim();
  } catch (error) {
    reason = error.message;
  }
  throw new Error(`cannot read the scenario '${address.startsWith('data:') ? 'scenario.toml' : address}': ${reason}`);
}

// A file's bytes as a data: address, each byte as it is where a URI allows it and escaped where not,
// so that a text file reads as its text and any other byte survives.
function dataAddress(bytes) {
  let text = 'data:text/plain,';
  for (const byte of bytes) {
    const c = String.fromCharCode(byte);
    text += /[A-Za-z0-9\-_.!~*'()]/.test(c) ? c : `%${byte.toString(16).toUpperCase().padStart(2, '0')}`;
  }
  return text;
}

async function argumentsOf(query) {
  const args = [];
  for (const [name, value] of new URLSearchParams(query)) {
    if (/[\n\r]/.test(name + value)) throw new Error(`the value of ${name} holds a line break`);
    if (/\0/.test(name + value)) throw new Error(`the value of ${name} holds a NUL character`);
    args.push(`--${name}`);
    if (value !== '') args.push(name === 'scenario' ? await fetchScenario(value) : value);
  }
  return args;
}

function fillForm(query) {
  const params = new URLSearchParams(query);
  for (const [name] of OPTIONS) $(`option-${name}`).value = params.getAll(name).join('\n');
  // A scenario that is not one of the examples (a loaded file's data: address) is kept as it is.
  const scenario = params.get('scenario') || '';
  $('examples').value = scenario;
  loadedScenario = $('examples').value === scenario ? '' : scenario;
}

function formQuery() {
  const params = new URLSearchParams();
  const scenario = $('examples').value || loadedScenario;
  if (scenario) params.append('scenario', scenario);
  for (const [name, repeatable] of OPTIONS) {
    const text = $(`option-${name}`).value.trim();
    if (!text) continue;
    for (const value of repeatable ? text.split('\n') : [text]) {
      if (value.trim()) params.append(name, value.trim());
    }
  }
  return params.toString();
}

let loadedScenario = '';
// The reading of the file last chosen for the form; the form waits for it.
let fileRead = Promise.resolve();

// The world refused: the reason in smoke-steps's words, and an empty canvas.
function refuse(reason, usage = true) {
  showProblem(`smoke-page: ${reason}${usage ? '\nusage: the world options of smoke-steps, as ?option=value&...' : ''}`);
  gl.clearColor(0, 0, 0, 1);
  gl.clear(gl.COLOR_BUFFER_BIT);
  document.body.dataset.state = 'refused';
}

let opened = 0;  // worlds asked for, so that only the last one asked opens

async function open(query) {
  running = false;
  document.body.dataset.state = 'opening';
  overlay.replaceChildren();
  overlayText = '';
  highlight.hidden = true;
  const opening = ++opened;
  let args;
  try {
    args = await argumentsOf(query);
  } catch (error) {
    if (opening === opened) refuse(error.message);
    return;
  }
  if (opening !== opened) return;  // a later world was asked for while this one's scenario came
  let status;
  try {
    status = api.open(args.join('\n'));
  } catch (error) {  // the core's own failure, as the one of a value too large for its memory
    refuse(`cannot open the world: ${error.message || error}`, false);
    return;
  }
  if (status === 2) {
    refuse(api.answer());
    return;
  }
  showProblem('');
  if (status === 1) {  // help or the scenario's text: shown as the program would print it
    log.appendChild(document.createTextNode(api.answer()));
    document.body.dataset.state = 'printed';
    return;
  }
  api.resize(canvas.width, canvas.height);
  pointsChanges = -1;
  running = true;
  dirty = true;
  $('link').value = location.href;
  document.body.dataset.state = 'running';
}

function buildForm() {
  const fields = $('fields');
  for (const [name, repeatable, hint] of OPTIONS) {
    const label = document.createElement('label');
    label.htmlFor = `option-${name}`;
    label.textContent = name;
    const input = document.createElement(repeatable ? 'textarea' : 'input');
    input.id = `option-${name}`;
    input.placeholder = repeatable ? `${hint}, one a line` : hint;
    input.spellcheck = false;
    fields.append(label, input);
  }
  $('world-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    // A file chosen a moment ago may still be being read: the world is the one with its scenario.
    // Waits until no other file was chosen while the last one was read; only its failure counts.
    for (let read = null; read !== fileRead;) {
      read = fileRead;
      try {
        await read;
      } catch (error) {
        if (read !== fileRead) continue;
        showProblem(`smoke-page: cannot read ${$('scenario-file').files[0]?.name}: ${error.message}`);
        return;
      }
    }
    const query = formQuery();
    const address = query ? `?${query}` : location.pathname;
    // The same world again is a reset, not another step in the history.
    if (address === (location.search || location.pathname)) history.replaceState(null, '', address);
    else history.pushState(null, '', address);
    open(location.search);
  });
  $('scenario-file').addEventListener('change', (event) => {
    const file = event.target.files[0];
    if (!file) {  // the choice cancelled: the form keeps the scenario it had
      fileRead = Promise.resolve();
      return;
    }
    const reading = file.arrayBuffer().then((buffer) => {
      if (fileRead !== reading) return;  // another file, or an example, was chosen since
      loadedScenario = dataAddress(new Uint8Array(buffer));
      $('examples').value = '';
    });
    reading.catch(() => {});  // reported when the form is sent
    fileRead = reading;
  });
  $('examples').addEventListener('change', () => {
    loadedScenario = '';
    fileRead = Promise.resolve();
  });
  $('copy-link').addEventListener('click', async () => {
    $('link').value = location.href;
    $('link').select();
    try {
      await navigator.clipboard.writeText(location.href);
    } catch (error) {
      document.execCommand('copy');  // without the clipboard's permission, the selection
    }
    canvas.focus();  // the keys go back to the world
  });
  $('copy-log').addEventListener('click', () => navigator.clipboard.writeText(log.textContent).catch(() => {}));
  window.addEventListener('popstate', () => {
    fillForm(location.search);
    open(location.search);
  });
}

async function listExamples() {
  try {
    const names = await (await fetch('scenarios/index.json')).json();
    for (const name of names) {
      const option = document.createElement('option');
      option.value = option.textContent = `scenarios/${name}`;
      $('examples').appendChild(option);
    }
  } catch (error) {
    // The page works without its examples.
  }
}

async function main() {
  buildForm();
  font = measureFont();
  setUpDrawing();
  api = wrap(await createSmoke());
  await listExamples();
  fillForm(location.search);
  await open(location.search);
  requestAnimationFrame(frame);
}

main();
