#!/usr/bin/env node
// The browser pages' figures, in headless Chromium (the system's, through puppeteer-core), each
// page served from 127.0.0.1 with the isolation headers by tests/web/pages.js:
// - the display refresh period: the median time between two animation frames of the page;
// - Zentavor's pictures per refresh: pictures drawn into the canvas per animation frame;
// - Trabolix key -> picture: from a key handed to the terminal's input (as the terminal hands a
//   typed key on) to the animation frame that draws the changed picture into the canvas, the
//   median over 40 keys (turns left and right, each after the picture has stood still);
// - Trabolix idle: the CPU time of all the browser's processes (/proc) over 10 s while the game
//   waits for a key, in percent of one core, beside the same for a blank page;
// - the first picture: from the start of the page's load to the first picture in its canvas, at
//   the program's first load in the browser (its WebAssembly compiled anew) and at three more;
// - each program's WebAssembly, compressed with gzip -9.
// Every time is also given as a multiple of the refresh period measured in the same run.
//
//   bench/web_bench.js     (build/web from `make web`; prints SKIP without it)
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const t = require('../tests/web/pages');

const KEYS = 40;
const IDLE_SECONDS = 10;
const CLOCK_TICKS = 100;  // /proc's clock ticks per second (USER_HZ)

// Column widths, as bench/loops_bench.py prints its table: 100 characters with the gaps.
const COLUMNS = [36, 32, 11, 15];

function wrap(text, width) {
  const lines = [];
  let line = '';
  for (const word of String(text).split(' ')) {
    if (line && line.length + 1 + word.length > width) {
      lines.push(line);
      line = word;
    } else {
      line = line ? line + ' ' + word : word;
    }
  }
  lines.push(line);
  return lines;
}

function printTable(header, rows) {
  const lines = (cells) => {
    const wrapped = cells.map((c, k) => wrap(c, COLUMNS[k]));
    const height = Math.max(...wrapped.map((w) => w.length));
    const out = [];
    for (let k = 0; k < height; ++k) {
      out.push(wrapped.map((w, j) => (w[k] || '').padEnd(COLUMNS[j])).join('  ').trimEnd());
    }
    return out;
  };
  console.log(lines(header).join('\n'));
  console.log(COLUMNS.map((w) => '-'.repeat(w)).join('  '));
  rows.forEach((cells, k) => {
    const out = lines(cells);
    console.log(out.join('\n'));
    if (out.length > 1 && k + 1 < rows.length) console.log();
  });
}

const ms = (x) => (x === null ? '-' : `${x.toFixed(1)} ms`);
const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length ? s[s.length >> 1] : null;
};

// The CPU time, in seconds, of the browser whose first process is `pid`: all its processes,
// and its renderers (where the pages and their workers run).
function browserCpuSeconds(pid) {
  const children = new Map();
  const own = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    let stat;
    let cmdline;
    try {
      stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      cmdline = fs.readFileSync(`/proc/${entry}/cmdline`, 'utf8');
    } catch (e) {
      continue;  // ended meanwhile
    }
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    const parent = Number(fields[1]);
    own.set(Number(entry), { seconds: (Number(fields[11]) + Number(fields[12])) / CLOCK_TICKS,
                             renderer: cmdline.includes('--type=renderer') });
    if (!children.has(parent)) children.set(parent, []);
    children.get(parent).push(Number(entry));
  }
  const total = { all: 0, renderer: 0 };
  const todo = [pid];
  while (todo.length) {
    const p = todo.pop();
    const o = own.get(p);
    if (o) {
      total.all += o.seconds;
      if (o.renderer) total.renderer += o.seconds;
    }
    todo.push(...(children.get(p) || []));
  }
  return total;
}

// Percent of one core that the browser used over `seconds` with its pages as they are: all its
// processes, and its renderers.
async function browserCpu(browser, seconds) {
  const pid = browser.process().pid;
  const before = browserCpuSeconds(pid);
  const start = process.hrtime.bigint();
  await new Promise((done) => setTimeout(done, seconds * 1000));
  const wall = Number(process.hrtime.bigint() - start) / 1e9;
  const after = browserCpuSeconds(pid);
  return { all: (100 * (after.all - before.all)) / wall,
           renderer: (100 * (after.renderer - before.renderer)) / wall };
}

// Animation frames and pictures drawn over `seconds`, counted in the page.
function framesOver(page, seconds) {
  return page.evaluate((s) => new Promise((done) => {
    const times = [];
    const drawn0 = zt.framesDrawn;
    const tick = (now) => {
      times.push(now);
      if (now - times[0] < s * 1000) {
        requestAnimationFrame(tick);
        return;
      }
      const gaps = times.slice(1).map((x, i) => x - times[i]).sort((a, b) => a - b);
      done({ frames: times.length - 1, drawn: zt.framesDrawn - drawn0,
             period: gaps[gaps.length >> 1] });
    };
    requestAnimationFrame(tick);
  }), seconds);
}

// Keys handed to the terminal's input, each after the picture has stood still for three
// animation frames; for each, the time to the first drawing into the canvas after it that changed
// the picture (the page's putImageData calls are timed for that).
function keyLatencies(page, keys) {
  return page.evaluate((n) => new Promise((done) => {
    const put = CanvasRenderingContext2D.prototype.putImageData;
    let firstPut = null;
    CanvasRenderingContext2D.prototype.putImageData = function (...args) {
      if (firstPut === null) firstPut = performance.now();
      return put.apply(this, args);
    };
    const latencies = [];
    let stillFrames = 0;
    let lastDrawn = zt.framesDrawn;
    let sent = null;  // {at, hash} of the key on its way
    const next = (now) => {
      if (sent === null) {
        stillFrames = zt.framesDrawn === lastDrawn ? stillFrames + 1 : 0;
        lastDrawn = zt.framesDrawn;
        if (stillFrames >= 3) {
          sent = { at: performance.now(), hash: ztCanvasHash() };
          firstPut = null;
          zt.type(latencies.length % 2 ? '6' : '4');
        }
      } else if (firstPut !== null && ztCanvasHash() !== sent.hash) {
        latencies.push(firstPut - sent.at);
        sent = null;
        stillFrames = 0;
        lastDrawn = zt.framesDrawn;
      } else if (now - sent.at > 5000) {
        n = latencies.length;  // a key that changed nothing: the figures so far
      }
      if (latencies.length >= n) {
        CanvasRenderingContext2D.prototype.putImageData = put;
        done(latencies);
        return;
      }
      requestAnimationFrame(next);
    };
    requestAnimationFrame(next);
  }), keys);
}

async function main() {
  const skip = t.missing();
  if (skip) {
    console.log(`web_bench: SKIP, ${skip}`);
    return;
  }
  const server = await t.serve();
  const browser = await t.launch();
  const rows = [];
  const row = (...cells) => rows.push(cells);
  try {
    console.log(`web_bench: the pages in headless Chromium (${(await browser.version())}), ` +
                `load average ${require('os').loadavg().map((x) => x.toFixed(2)).join(' ')}`);
    const first = {};
    const z = await t.open(browser, `${server.base}/zentavor.html`);
    first.zentavor = await z.evaluate(() => zt.firstFrameMs);
    await z.evaluate(() => new Promise((done) => setTimeout(done, 1000)));  // past the start
    const f = await framesOver(z, 3);
    const period = f.period;
    row('display refresh period (the page\'s animation frames)', ms(period), '1', '');
    row('Zentavor pictures per refresh (3 s)', `${(f.drawn / f.frames).toFixed(2)} ` +
        `(${f.drawn} pictures in ${f.frames} frames)`, '', '1');
    await z.close();

    const p = await t.open(browser, `${server.base}/trabolix.html`);
    first.trabolix = await p.evaluate(() => zt.firstFrameMs);
    const lat = await keyLatencies(p, KEYS);
    const m = median(lat);
    row(`Trabolix key -> picture, median (max) of ${lat.length} keys`,
        `${ms(m)} (${ms(lat.length ? Math.max(...lat) : null)})`,
        m === null ? '' : (m / period).toFixed(2), '<= 2 refreshes');
    await p.evaluate(() => new Promise((done) => setTimeout(done, 500)));  // the picture stands
    const idle = await browserCpu(browser, IDLE_SECONDS);
    await p.close();
    const blankPage = await browser.newPage();
    const blank = await browserCpu(browser, IDLE_SECONDS / 2);
    await blankPage.close();
    const pct = (x) => `${x.toFixed(1)} %`;
    row(`Trabolix idle (${IDLE_SECONDS} s): the page's renderer / the whole browser`,
        `${pct(idle.renderer)} / ${pct(idle.all)} of a core (a blank page: ` +
        `${pct(blank.renderer)} / ${pct(blank.all)})`, '', '< 2 %');
    for (const program of ['zentavor', 'trabolix']) {
      const again = [];
      for (let k = 0; k < 3; ++k) {
        const page = await t.open(browser, `${server.base}/${program}.html`);
        again.push(await page.evaluate(() => zt.firstFrameMs));
        await page.close();
      }
      const m = median(again);
      row(`${program}.html: first picture after the load's start, the first load / the median of ` +
          'three more', `${ms(first[program])} / ${ms(m)}`,
          `${(first[program] / period).toFixed(1)} / ${(m / period).toFixed(1)}`, '< 1 s');
    }
    for (const program of ['zentavor', 'trabolix']) {
      const wasm = fs.readFileSync(path.join(t.webDir, `${program}.wasm`));
      const packed = zlib.gzipSync(wasm, { level: 9 }).length;
      row(`${program}.wasm, gzip -9`, `${(packed / 1024).toFixed(0)} KiB ` +
          `(${(wasm.length / 1024).toFixed(0)} KiB as built)`, '', '< 1 MB');
    }
  } finally {
    await browser.close();
    await server.close();
  }
  console.log();
  printTable(['browser figure', 'measured', 'x refresh', 'target'], rows);
}

main().catch((e) => {
  console.log('web_bench: failed: ' + e.stack);
  process.exit(1);
});
