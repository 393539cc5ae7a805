#!/usr/bin/env node
// Trabolix's page in headless Chromium: the magenta spheres and the light green aim circle; a
// move key typed in the terminal changes the picture, also after the picture had the focus (where
// q does nothing); q ends the game with "Unused key pressed
// => EXIT" and exit status 0. With the wall clock frozen (the seed known, as on the desktop under
// faketime): after a key script the canvas equals, pixel for pixel, the back buffer of the
// desktop's game for the same keys and seed (trabolix_picture), and the same game played on wins.
// Ctrl+\ (the other break key) gives status 9, the run-time report and its download. No run may
// leave an uncaught error in the page.
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const t = require('./pages');

const MAGENTA = 0x800080;
const LIGHT_GREEN = 0x00ff00;
const UNUSED = '\r\nUnused key pressed => EXIT\r\n';

// --- the placement from a known seed and the keys that win from it -----------------------------

// The library generator: 55 words filled by the seeding recurrence, lags 55 and 24.
function generator(seed) {
  const table = [];
  let state = seed >>> 0;
  for (let n = 0; n < 55; ++n) {
    state = (Math.imul(state, 3141592621) + 17) >>> 0;
    table.push(state >>> 16);
  }
  let j = 54;
  let k = 23;
  const random = (range) => {
    if (j !== 0) {
      --j;
      k = k !== 0 ? k - 1 : 54;
    } else {
      --k;
      j = 54;
    }
    table[j] = (table[j] + table[k]) >>> 0;
    return range ? table[j] % range : table[j];
  };
  return (lo, hi) => lo + random(hi - lo + 1);
}

function placement(seed) {
  const card = generator(seed);
  const spheres = [];
  for (let n = 0; n < 6; ++n) {
    const centre = [];
    for (let axis = 0; axis < 3; ++axis) centre.push(card(0, card(990, 1000)));
    spheres.push(centre);
  }
  return spheres;
}

// Moves at angle 0: 7 / 1 along x, 8 (or Up) / 2 along y, + / - along z; 100 a step.
function walk(from, to) {
  let keys = '';
  [['7', '1'], ['\x1b[A', '2'], ['+', '-']].forEach(([more, less], axis) => {
    const steps = Math.trunc((to[axis] - from[axis]) / 100);
    keys += (steps > 0 ? more : less).repeat(Math.abs(steps));
  });
  return keys;
}

const START = [0, -1000, 400];

// Visits each sphere's nearest grid point and shoots; after the fifth shot walks back to the
// start. Answers the keys up to there and the rest.
function winningKeys(spheres) {
  let at = START;
  let first = '';
  let keys = '';
  spheres.forEach((c, n) => {
    const target = c.map((v) => Math.round(v / 100) * 100);
    keys += walk(at, target) + ' ';
    at = target;
    if (n === 4) {
      first = keys + walk(at, START);
      keys = '';
      at = START;
    }
  });
  return [first, keys];
}

// --- the desktop's picture for the same keys ---------------------------------------------------

// The drawing area and, in it, the window's client area (a 1-pixel border and a 19-pixel caption
// off the window's outer size): the canvas shows that top-left part of the back buffer.
const WIDTH = 1000;
const DEPTH = 800;
const CLIENT_WIDTH = WIDTH - 2;
const CLIENT_DEPTH = DEPTH - 21;

// The desktop's picture after `keys` from the frozen seed, as RGB bytes of the client area.
function desktopPicture(keys) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'trabolix-picture-'));
  try {
    const out = path.join(dir, 'picture.ppm');
    execFileSync(process.env.TRABOLIX_PICTURE, [String(t.FROZEN_SEED), out],
                 { input: keys, cwd: dir, timeout: 60000, stdio: ['pipe', 'ignore', 'pipe'],
                   env: { ...process.env, SDL_VIDEODRIVER: 'offscreen' } });
    const ppm = fs.readFileSync(out);
    const buffer = ppm.subarray(ppm.length - WIDTH * DEPTH * 3);  // after "P6\n1000 800\n255\n"
    const rows = [];
    for (let y = 0; y < CLIENT_DEPTH; ++y) {
      rows.push(buffer.subarray(y * WIDTH * 3, (y * WIDTH + CLIENT_WIDTH) * 3));
    }
    return Buffer.concat(rows);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// Where the canvas and the desktop's client area differ: the count and the first pixel. With
// ZT_WEB_KEEP=DIR both pictures are kept there as page.ppm and desktop.ppm.
function difference(page, desktop) {
  if (process.env.ZT_WEB_KEEP) {
    const keep = (name, rgb) => fs.writeFileSync(path.join(process.env.ZT_WEB_KEEP, name),
      Buffer.concat([Buffer.from(`P6\n${CLIENT_WIDTH} ${CLIENT_DEPTH}\n255\n`), rgb]));
    keep('page.ppm', page);
    keep('desktop.ppm', desktop);
  }
  if (page.length !== desktop.length) return `the canvas has ${page.length / 3} pixels`;
  let count = 0;
  let first = null;
  for (let i = 0; i < page.length; i += 3) {
    if (page.compare(desktop, i, i + 3, i, i + 3) !== 0) {
      const p = i / 3;
      const hex = (rgb) => rgb.subarray(i, i + 3).toString('hex');
      first = first || `(${p % CLIENT_WIDTH}, ${Math.floor(p / CLIENT_WIDTH)}): page ` +
        `${hex(page)}, desktop ${hex(desktop)}`;
      ++count;
    }
  }
  return `${count} pixels differ, the first at ${first}`;
}

// Waits until the canvas shows the desktop's picture after `keys`; answers whether it did.
async function sameAsDesktop(page, keys, what, timeout = undefined) {
  const expected = desktopPicture(keys);
  const same = await t.waitPicture(page, t.rgbHash(expected), timeout);
  t.check(same, `${what}: the canvas equals the desktop's back buffer, pixel for pixel` +
          (same ? '' : ': ' + difference(await t.canvasRgb(page), expected)));
  return same;
}

// --- the cases ----------------------------------------------------------------------------------

// Keys typed on the keyboard, with the terminal focused. With the seed known, each picture is
// compared with the desktop's, so a key that changes the picture changes it as the desktop does.
async function play(browser, server) {
  const page = await t.open(browser, `${server.base}/trabolix.html?clock=${t.FROZEN_MS}`);
  await sameAsDesktop(page, '', 'at the start');
  const colours = await t.canvasColours(page);
  t.check(colours[MAGENTA] > 300 && colours[LIGHT_GREEN] > 0 && colours[LIGHT_GREEN] < 200,
          `the magenta spheres and the light green aim circle (${colours[MAGENTA] || 0} and ` +
          `${colours[LIGHT_GREEN] || 0} pixels)`);
  let keys = '';
  for (const [key, bytes] of [['ArrowUp', '\x1b[A'], ['4', '4']]) {
    if (key === '4') {
      // The window takes the focus and gives it back (its activation answers late, on purpose),
      // and takes no keys: q typed there must not end the game, and the next picture must come.
      await page.click('#graph');
      await page.keyboard.press('KeyQ');
      await page.click('#terminal');
    }
    const before = await t.canvasHash(page);
    await page.keyboard.press(key);
    keys += bytes;
    // After the focus came back, the picture comes within a few refreshes: the window thread
    // answers an activation in 50 ms. (A sleep that took the clock's reading for its length once
    // held it for as many seconds as the page had been open.) 2 s only guards against that.
    const guard = key === '4' ? 2000 : undefined;
    if (await sameAsDesktop(page, keys, `after ${key}`, guard)) {
      t.check((await t.canvasHash(page)) !== before, `${key} changes the picture`);
    }
  }
  await page.keyboard.type('q');
  t.check(await t.waitEnd(page), 'q ends the game');
  const s = await t.state(page);
  t.check(s.output.startsWith(UNUSED) && s.status === 0 && s.output.includes('exit status 0'),
          `q: "Unused key pressed => EXIT", exit status ${s.status} (${JSON.stringify(s.output)})`);
  t.noErrors(s, 'keys');
  await page.close();
}

async function frozenGame(browser, server) {
  const spheres = placement(t.FROZEN_SEED);
  const [first, rest] = winningKeys(spheres);
  // Five spheres hit and back at the start; then turned left (Left), tilted (Page Up) and rolled.
  const script = first + '\x1b[D\x1b[5~*';
  const page = await t.open(browser, `${server.base}/trabolix.html?clock=${t.FROZEN_MS}`);
  await page.evaluate((keys) => zt.type(keys), script);
  await sameAsDesktop(page, script, `after a script of ${script.length} keys`);
  const colours = await t.canvasColours(page);
  t.check(colours[LIGHT_GREEN] > 600 && colours[MAGENTA] > 0, 'five spheres light green, one ' +
          `magenta (${colours[LIGHT_GREEN] || 0} and ${colours[MAGENTA] || 0} pixels)`);

  // Turned back (Right, Page Down, the other roll), the game played on to the last sphere wins.
  await page.evaluate((keys) => zt.type(keys), '\x1b[C\x1b[6~/' + rest);
  t.check(await t.waitEnd(page, 30000), 'the scripted game ends');
  const s = await t.state(page);
  t.check(s.output.startsWith('You are the best and you know it!\r\n') && s.status === 0,
          `the scripted game wins, exit status ${s.status} (${JSON.stringify(s.output)})`);
  t.noErrors(s, 'scripted game');
  await page.close();
}

function breakKey(browser, server) {
  return t.breakKey(browser, `${server.base}/trabolix.html`, 'Backslash');
}

t.run(play, frozenGame, breakKey);
