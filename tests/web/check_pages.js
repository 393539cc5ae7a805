#!/usr/bin/env node
// Plays both programs' pages in headless Chromium (the system's, through puppeteer-core) and
// checks what a person would see: the picture drawn and moving, the keys, the texts, the exit
// status and the run-time report's download link. Pictures go to OUT (build/web-check).
//
//   tests/web/check_pages.js [--base http://127.0.0.1:8080] [--out DIR]
//
// Without --base it serves build/web itself (scripts/serve-web on a free port).
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const root = path.resolve(__dirname, '..', '..');
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};
const out = option('--out', path.join(root, 'build', 'web-check'));
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

let failures = 0;
function check(ok, what) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) ++failures;
}

// Starts scripts/serve-web on a free port; answers the base address once it serves.
function serve(extra = []) {
  return new Promise((resolve, reject) => {
    const server = spawn(path.join(root, 'scripts', 'serve-web'),
                         ['--port', '0', '--dir', path.join(root, 'build', 'web'), ...extra],
                         { stdio: ['ignore', 'pipe', 'inherit'] });
    server.stdout.on('data', (data) => {
      const m = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(String(data));
      if (m) resolve({ server, base: m[0].replace(/\/$/, '') });
    });
    server.on('exit', (code) => reject(new Error('serve-web ended with ' + code)));
  });
}

// The canvas's pixels as counts per colour (0xRRGGBB), read in the page.
function canvasColours(page) {
  return page.evaluate(() => {
    const c = document.getElementById('graph');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const counts = {};
    for (let i = 0; i < d.length; i += 4) {
      const rgb = (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
      counts[rgb] = (counts[rgb] || 0) + 1;
    }
    return counts;
  });
}

function canvasHash(page) {
  return page.evaluate(() => {
    const c = document.getElementById('graph');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let h = 0;
    for (let i = 0; i < d.length; i += 4) h = (Math.imul(h, 31) + d[i] + (d[i + 1] << 8) + (d[i + 2] << 16)) | 0;
    return h;
  });
}

async function open(browser, base, program) {
  const page = await browser.newPage();
  page.pageErrors = [];
  page.on('pageerror', (e) => page.pageErrors.push(e.message));
  await page.setViewport({ width: 1800, height: 1000 });
  await page.goto(`${base}/${program}.html`);
  await page.waitForFunction(() => window.zt && zt.framesDrawn > 0, { timeout: 10000 });
  await pause(500);
  return page;
}

const waitOutput = (page, text, timeout = 10000) =>
  page.waitForFunction((t) => zt.output.includes(t), { timeout }, text);
const waitEnd = (page, timeout = 10000) => page.waitForFunction(() => zt.ended, { timeout });
const state = (page) => page.evaluate(() => ({ status: zt.status, output: zt.output,
  errinfo: zt.errinfo, pageErrors: zt.pageErrors, link: !!document.querySelector('a[download="errinfo.$$$"]') }));
const pause = (ms) => new Promise((r) => setTimeout(r, ms));

async function zentavor(browser, base) {
  let page = await open(browser, base, 'zentavor');
  let s;
  // Planet i is drawn in colour 3 i of the standard palette: cyan, brown, light blue.
  const hues = Object.keys(await canvasColours(page)).map(Number).filter((c) => c !== 0);
  check(JSON.stringify(hues.sort((a, b) => a - b)) === JSON.stringify([0x0000ff, 0x008080, 0xb06000]),
        `zentavor: the canvas shows the three planets in their colours (${hues.map((c) => c.toString(16))})`);
  const before = await canvasHash(page);
  await pause(500);
  check((await canvasHash(page)) !== before, 'zentavor: the picture moves');
  await page.screenshot({ path: path.join(out, 'zentavor.png') });
  await page.keyboard.type('x');
  await page.click('#graph');
  await page.keyboard.type('x');
  await page.click('#terminal');
  await pause(300);
  s = await state(page);
  check(!s.output.trim() && s.status === null, 'zentavor: x in the terminal and in the canvas does nothing');
  await page.keyboard.type('r');
  await waitEnd(page);
  s = await state(page);
  check(s.output.startsWith('\r\nPress R to finish te program\r\n') && s.status === 0 &&
        s.output.includes('exit status 0'),
        `zentavor: r in the terminal: "Press R to finish te program", status ${s.status}`);
  check(s.pageErrors.length === 0 && page.pageErrors.length === 0, 'zentavor: no page error ' + JSON.stringify([s.pageErrors, page.pageErrors]));
  await page.screenshot({ path: path.join(out, 'zentavor-ended.png') });
  await page.close();

  // r typed in the canvas.
  page = await open(browser, base, 'zentavor');
  await page.click('#graph');
  await page.keyboard.type('r');
  await waitEnd(page);
  s = await state(page);
  check(s.output.includes('Press R to finish te program') && s.status === 0,
        `zentavor: r in the canvas ends it too, status ${s.status}`);
  await page.close();

  // Ctrl+C in the terminal.
  page = await open(browser, base, 'zentavor');
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyC');
  await page.keyboard.up('Control');
  await waitEnd(page);
  s = await state(page);
  check(s.status === 9 && s.output.includes('#RTS: unhandled exception #21'),
        `zentavor: Ctrl+C gives the report and status ${s.status}`);
  check(s.link && s.errinfo && s.errinfo.includes('(end of call history)'),
        'zentavor: errinfo.$$$ offered as a download');
  await page.screenshot({ path: path.join(out, 'zentavor-break.png') });
  await page.close();
}

async function trabolix(browser, base) {
  const page = await open(browser, base, 'trabolix');
  const colours = await canvasColours(page);
  check(colours[0x800080] > 0 && colours[0x00ff00] > 0,
        'trabolix: the canvas shows the magenta spheres and the light green aim circle');
  await page.screenshot({ path: path.join(out, 'trabolix.png') });
  const before = await canvasHash(page);
  const drawn = await page.evaluate(() => zt.framesDrawn);
  await page.keyboard.press('ArrowLeft');
  await page.waitForFunction((n) => zt.framesDrawn > n, { timeout: 5000 }, drawn);
  await pause(200);
  check((await canvasHash(page)) !== before, 'trabolix: a turn key changes the picture');
  await page.screenshot({ path: path.join(out, 'trabolix-turned.png') });
  await page.keyboard.type('q');
  await waitEnd(page);
  const s = await state(page);
  check(s.output.includes('Unused key pressed => EXIT'), 'trabolix: q says "Unused key pressed => EXIT"');
  check(s.output.includes(`exit status ${s.status}`), `trabolix: exit status ${s.status} shown`);
  check(s.pageErrors.length === 0 && page.pageErrors.length === 0, 'trabolix: no page error');
  await page.close();

  const again = await open(browser, base, 'trabolix');
  await again.keyboard.down('Control');
  await again.keyboard.press('KeyC');
  await again.keyboard.up('Control');
  await waitEnd(again);
  const b = await state(again);
  check(b.status === 9 && b.link, `trabolix: Ctrl+C gives status ${b.status} and the download`);
  await again.close();
}

// Served without the isolation headers, a page says why it cannot run.
async function withoutThreads(browser) {
  const served = await serve(['--no-isolation']);
  try {
    const page = await browser.newPage();
    await page.goto(`${served.base}/zentavor.html`);
    await page.waitForFunction(() => window.zt && zt.error !== null, { timeout: 10000 });
    const text = await page.$eval('#status', (e) => (e.hidden ? '' : e.textContent));
    check(text.includes('Cross-Origin-Embedder-Policy: require-corp'),
          'without the isolation headers the page says it needs them');
    await page.close();
  } finally {
    served.server.kill();
  }
}

(async () => {
  fs.mkdirSync(out, { recursive: true });
  let served = null;
  let base = option('--base', null);
  if (!base) {
    served = await serve();
    base = served.base;
  }
  const browser = await puppeteer.launch({ executablePath: chromium, headless: true,
                                           args: ['--no-sandbox'] });
  try {
    await zentavor(browser, base);
    await trabolix(browser, base);
    await withoutThreads(browser);
  } catch (e) {
    check(false, 'stopped: ' + e.message);
  } finally {
    await browser.close();
    if (served) served.server.kill();
  }
  console.log(failures ? `${failures} failed` : 'all passed');
  process.exit(failures ? 1 : 0);
})();
