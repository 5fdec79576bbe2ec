// The core's C functions as JavaScript functions, for the page and for node alike.
export function wrap(m) {
  const f = (name, result, args) => m.cwrap(name, result, args);
  return {
    module: m,
    open: f('smoke_open', 'number', ['string']),
    answer: f('smoke_answer', 'string', []),
    scenarioText: f('smoke_scenario_text', 'string', []),
    putFile: f('smoke_put_file', 'number', ['string', 'string']),
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
