// Shared pieces of the browser tests and figures: failure bookkeeping, build/web served by
// scripts/serve-web on free ports of 127.0.0.1 (with the cross-origin isolation headers and
// without them), the system's Chromium headless through puppeteer-core, and what a script reads
// from a program's page (its canvas, its terminal text, its end).
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const root = process.env.ZT_SOURCE_DIR || path.resolve(__dirname, '..', '..');
const webDir = process.env.ZT_WEB_DIR || path.join(root, 'build', 'web');
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

// 2026-01-01 12:00:07.53 UTC: the frozen time of the desktop's end-to-end tests. A page opened
// with ?clock=FROZEN_MS stops the program's wall clock there (the monotonic clock runs on).
const FROZEN_MS = Date.UTC(2026, 0, 1, 12, 0, 7, 530);
// Trabolix seeds its generator with the clock's seconds times its hundredths.
const FROZEN_SEED = new Date(FROZEN_MS).getUTCSeconds() * Math.floor((FROZEN_MS % 1000) / 10);

const failures = [];
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) failures.push(what);
  return ok;
}

// Exits the process as a CTest test: 0 when every check passed, 77 (skipped) with `skip`.
function finish(skip) {
  if (skip) {
    console.log('SKIP: ' + skip);
    process.exit(77);
  }
  console.log(failures.length ? `${failures.length} failed` : 'all passed');
  process.exit(failures.length ? 1 : 0);
}

function noErrors(s, what) {
  check(s.errors.length === 0,
        `${what}: no uncaught error in the page ${JSON.stringify(s.errors)}`);
}

// Runs each case(browser, server) in turn in one browser session, against the pages served by
// serve(), and exits as a CTest test (skipped when the pages have not been built).
async function run(...cases) {
  const skip = missing();
  if (skip) finish(skip);
  const server = await serve();
  const browser = await launch();
  try {
    for (const c of cases) await c(browser, server);
  } catch (e) {
    check(false, 'stopped: ' + e.stack);
  } finally {
    await browser.close();
    await server.close();
  }
  finish();
}

// Why the pages cannot be tried here, or null.
function missing() {
  if (!fs.existsSync(path.join(webDir, 'zentavor.html'))) {
    return `no pages in ${webDir}: run \`make web\` first`;
  }
  return null;
}

// Starts scripts/serve-web on a free port (`args` added to its command line); answers
// {base, process} once it serves.
function serveWeb(args) {
  return new Promise((resolve, reject) => {
    const server = spawn(path.join(root, 'scripts', 'serve-web'),
                         ['--port', '0', '--dir', webDir, ...args],
                         { stdio: ['ignore', 'pipe', 'inherit'] });
    let said = '';
    server.stdout.on('data', (data) => {
      said += data;
      const m = /http:\/\/127\.0\.0\.1:\d+/.exec(said);
      if (m) resolve({ base: m[0], process: server });
    });
    server.on('error', reject);
    server.on('exit', (code) => reject(new Error(`serve-web ended with ${code}: ${said}`)));
  });
}

// Serves webDir as `make serve-web` does, with the cross-origin isolation headers (base), and
// without them (plain: a host that cannot set them); answers {base, plain, close()}.
async function serve() {
  const isolated = await serveWeb([]);
  const plain = await serveWeb(['--no-isolation']);
  return {
    base: isolated.base,
    plain: plain.base,
    close: () => Promise.all([isolated, plain].map((s) => new Promise((done) => {
      s.process.removeAllListeners('exit');
      s.process.on('exit', done);
      s.process.kill();
    }))),
  };
}

function launch() {
  return puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-extensions',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
           '--disable-backgrounding-occluded-windows'],
  });
}

// Opens `url` in a new page of `browser` and waits until the program has drawn its first picture
// (`started` false: until the page has loaded). Uncaught errors of the page, errors written to
// its console and failed loads (but the browser's own try for an icon) gather in page.errors.
async function open(browser, url, started = true) {
  const page = await browser.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push('page: ' + e.message));
  page.on('console', (m) => {
    // A failed load is told by its response below.
    if (m.type() === 'error' && !m.text().startsWith('Failed to load resource')) {
      page.errors.push('console: ' + m.text());
    }
  });
  page.on('response', (r) => {
    if (r.status() >= 400 && !r.url().endsWith('/favicon.ico')) {
      page.errors.push(`load: ${r.status()} ${r.url()}`);
    }
  });
  await page.setViewport({ width: 1800, height: 1000 });
  await page.goto(url, { waitUntil: 'load' });
  await page.evaluate(canvasHelpers);
  if (started) {
    try {
      await page.waitForFunction(() => window.zt && zt.framesDrawn > 0, { timeout: 15000 });
    } catch (e) {
      const s = await page.evaluate(() => window.zt && JSON.stringify(zt));
      throw new Error(`${url}: no picture within 15 s (${s}; ${page.errors})`);
    }
  }
  return page;
}

// The page's state for checks: exit status, terminal text, the run-time report, uncaught errors
// (the page's own count and puppeteer's), the download link.
async function state(page) {
  const s = await page.evaluate(() => ({
    ended: zt.ended, status: zt.status, output: zt.output, errinfo: zt.errinfo,
    pageErrors: zt.pageErrors,
    link: !!document.querySelector('a[download="errinfo.$$$"]'),
  }));
  s.errors = s.pageErrors.concat(page.errors);
  return s;
}

const waitEnd = (page, timeout = 15000) =>
  page.waitForFunction(() => zt.ended, { timeout }).then(() => true, () => false);

// A checksum of RGB bytes (3 per pixel); the page's ztCanvasHash computes the same over its
// canvas.
function rgbHash(rgb) {
  let h = 0;
  for (let i = 0; i < rgb.length; ++i) h = (Math.imul(h, 31) + rgb[i]) | 0;
  return h;
}

// Functions over the canvas's pixels, defined in the page for checks and waits.
function canvasHelpers() {
  const pixels = () => {
    const c = document.getElementById('graph');
    return c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  };
  // Counts of the pixels per colour (0xRRGGBB).
  window.ztCanvasColours = () => {
    const d = pixels();
    const counts = {};
    for (let i = 0; i < d.length; i += 4) {
      const rgb = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
      counts[rgb] = (counts[rgb] || 0) + 1;
    }
    return counts;
  };
  window.ztCanvasHash = () => {
    const d = pixels();
    let h = 0;
    for (let i = 0; i < d.length; i += 4) {
      h = (Math.imul(h, 31) + d[i]) | 0;
      h = (Math.imul(h, 31) + d[i + 1]) | 0;
      h = (Math.imul(h, 31) + d[i + 2]) | 0;
    }
    return h;
  };
}

const canvasColours = (page) => page.evaluate(() => ztCanvasColours());
const canvasHash = (page) => page.evaluate(() => ztCanvasHash());

// Waits until the canvas holds, for each [rgb, least, most] of `wanted`, that many pixels of
// colour rgb; answers {ok, counts} with the counts at the end.
async function waitColours(page, wanted, timeout = 10000) {
  const ok = await page.waitForFunction((w) => {
    const counts = ztCanvasColours();
    return w.every(([rgb, least, most]) => {
      const n = counts[rgb] || 0;
      return n >= least && n <= most;
    });
  }, { timeout, polling: 50 }, wanted).then(() => true, () => false);
  return { ok, counts: await canvasColours(page) };
}

// Waits until the canvas's picture differs from the one whose hash is `before`.
function waitChange(page, before, timeout = 5000) {
  return page.waitForFunction((h) => ztCanvasHash() !== h, { timeout, polling: 50 }, before)
    .then(() => true, () => false);
}

// Waits until the canvas's picture is the one whose hash is `wanted`.
function waitPicture(page, wanted, timeout = 20000) {
  return page.waitForFunction((h) => ztCanvasHash() === h, { timeout, polling: 100 }, wanted)
    .then(() => true, () => false);
}

// The canvas as RGB bytes, 3 per pixel, rows left to right from the top.
async function canvasRgb(page) {
  const b64 = await page.evaluate(() => {
    const c = document.getElementById('graph');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const rgb = new Uint8Array((d.length / 4) * 3);
    for (let i = 0, j = 0; i < d.length; i += 4, j += 3) {
      rgb[j] = d[i];
      rgb[j + 1] = d[i + 1];
      rgb[j + 2] = d[i + 2];
    }
    let s = '';
    for (let i = 0; i < rgb.length; i += 0x8000) {
      s += String.fromCharCode.apply(null, rgb.subarray(i, i + 0x8000));
    }
    return btoa(s);
  });
  return Buffer.from(b64, 'base64');
}

// Presses a key with Control held (Ctrl+C: 'KeyC').
async function control(page, code) {
  await page.keyboard.down('Control');
  await page.keyboard.press(code);
  await page.keyboard.up('Control');
}

// Opens `url`, types a break key in its terminal (Ctrl+C, or Ctrl+\ with 'Backslash'), and
// checks the break: the run-time report in the terminal, exit status 9, errinfo.$$$ with its call
// history offered as a download.
async function breakKey(browser, url, code = 'KeyC') {
  const name = code === 'KeyC' ? 'Ctrl+C' : 'Ctrl+\\';
  const page = await open(browser, url);
  await control(page, code);
  check(await waitEnd(page), `${name} in the terminal ends it`);
  const s = await state(page);
  check(s.status === 9 && s.output.includes('exit status 9'), `${name}: exit status ${s.status}`);
  check(s.output.includes('#RTS: unhandled exception #21'),
        `${name}: the run-time report in the terminal`);
  check(s.link && s.errinfo !== null && s.errinfo.includes('(end of call history)'),
        `${name}: errinfo.$$$ with its call history offered as a download`);
  noErrors(s, name);
  await page.close();
}

module.exports = {
  webDir, FROZEN_MS, FROZEN_SEED, check, noErrors, run, missing, serve, launch, open, state,
  waitEnd, canvasColours, canvasHash, canvasRgb, waitColours, waitChange, waitPicture, rgbHash,
  breakKey,
};
