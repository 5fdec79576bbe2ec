// The core's C functions as JavaScript functions, for the page and for node alike.
export function wrap(m) {
  const f = (name, result, args) => m.cwrap(name, result, args);
  // Text and bytes reach the core through its heap, NUL-ended: cwrap's 'string' copies them onto
  // the module's stack, which a long one (a pasted value, a large file) overflows for good.
  const onHeap = (bytes, use) => {
    const at = m._malloc(bytes.length + 1);
    if (!at) throw new Error(`no memory for ${bytes.length} bytes`);
    try {
      m.HEAPU8.set(bytes, at);
      m.HEAPU8[at + bytes.length] = 0;
      return use(at, bytes.length);
    } finally {
      m._free(at);
    }
  };
  const utf8 = (text) => new TextEncoder().encode(text);
  const open = f('smoke_open', 'number', ['number']);
  const putFile = f('smoke_put_file', 'number', ['number', 'number', 'number']);
  return {
    module: m,
    open: (args) => onHeap(utf8(args), (at) => open(at)),
    answer: f('smoke_answer', 'string', []),
    scenarioText: f('smoke_scenario_text', 'string', []),
    // The file's bytes as they are, or a text as UTF-8.
    putFile: (name, data) => onHeap(utf8(name), (path) =>
      onHeap(typeof data === 'string' ? utf8(data) : data, (at, length) => putFile(path, at, length))),
    resize: f('smoke_resize', null, ['number', 'number']),
    key: f('smoke_key', null, ['number']),
    tick: f('smoke_tick', 'number', []),
    press: f('smoke_press', null, ['number', 'number', 'number']),
    move: f('smoke_move', null, ['number', 'number']),
    release: f('smoke_release', null, ['number', 'number']),
    takeOutput: f('smoke_take_output', 'string', []),
    pointCount: f('smoke_point_count', 'number', []),
    pointData: f('smoke_point_data', 'number', []),
    camera: f('smoke_camera', 'number', []),
    overlay: f('smoke_overlay', 'string', ['number', 'number', 'number']),
    changes: f('smoke_changes', 'number', []),
    // Only in node's twin, which the benchmark loads.
    bench: m._smoke_bench_build ? {
      build: f('smoke_bench_build', null, ['number', 'number', 'number']),
      randomise: f('smoke_bench_randomise', null, []),
      steps: f('smoke_bench_steps', null, ['number']),
    } : null,
  };
}
