// The demonstration's step in node against the native one: node bench.js SMOKE_NODE_JS [SMOKE_BENCH]
// [SECONDS]. Times the page's step on the running system's sheet and on a 512 x 512 one, and with
// smoke-bench given, runs its BM_Step on the same shapes (one thread) and prints the ratio.
'use strict';
const { execFileSync } = require('child_process');
const { loadSmoke } = require('./node_api.js');

const SHAPES = [[50, 50, 1], [512, 512, 1]];

// The best of ROUNDS runs on either side: other work on a shared machine only ever slows a run.
const ROUNDS = 5;

function nativeSeconds(bench, name, seconds) {
  const json = execFileSync(bench, [`--benchmark_filter=^BM_Step/${name}(/threads:1)?$`, '--benchmark_format=json',
    `--benchmark_min_time=${seconds / ROUNDS}`, `--benchmark_repetitions=${ROUNDS}`],
  { encoding: 'utf8', maxBuffer: 1 << 24 });
  const runs = JSON.parse(json).benchmarks.filter((b) => b.run_type !== 'aggregate');
  if (!runs.length) throw new Error(`smoke-bench has no BM_Step/${name}`);
  const scale = { ns: 1e-9, us: 1e-6, ms: 1e-3, s: 1 }[runs[0].time_unit];
  return Math.min(...runs.map((run) => run.cpu_time * scale));
}

// Seconds of the process's CPU time a step takes, over at least `seconds` of it; set back to the
// random state every STEPS_PER_RUN steps, untimed, as smoke-bench does.
const STEPS_PER_RUN = 20;
function pageSeconds(bench, seconds) {
  let timed = 0;
  let steps = 0;
  while (timed < seconds * 1e6) {
    bench.randomise();
    const start = process.cpuUsage();
    bench.steps(STEPS_PER_RUN);
    const used = process.cpuUsage(start);
    timed += used.user + used.system;
    steps += STEPS_PER_RUN;
  }
  return timed / 1e6 / steps;
}

async function main() {
  const [modulePath, bench, seconds = '2'] = process.argv.slice(2);
  if (!modulePath || !(Number(seconds) > 0)) {
    console.error('usage: node bench.js SMOKE_NODE_JS [SMOKE_BENCH] [SECONDS]');
    process.exit(2);
  }
  const smoke = await loadSmoke(modulePath);
  console.log('shape        page ms/step   native ms/step   page / native');
  // Both are CPU time, the best of several runs.
  for (const [columns, rows, planes] of SHAPES) {
    const name = planes === 1 ? `${columns}x${rows}` : `${columns}x${rows}x${planes}`;  // smoke-bench's names
    smoke.bench.build(columns, rows, planes);
    let page = Infinity;
    for (let i = 0; i < ROUNDS; ++i) page = Math.min(page, pageSeconds(smoke.bench, Number(seconds) / ROUNDS));
    const native = bench ? nativeSeconds(bench, name, seconds) : NaN;
    const cells = [name.padEnd(12), (page * 1e3).toFixed(4).padStart(12),
      bench ? (native * 1e3).toFixed(4).padStart(16) : '               -', bench ? (page / native).toFixed(2).padStart(15) : ''];
    console.log(cells.join(' '));
  }
}

main().catch((error) => {
  console.error(`bench.js: ${error.message}`);
  process.exit(1);
});
