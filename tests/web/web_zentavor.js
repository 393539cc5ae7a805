#!/usr/bin/env node
// Zentavor's page in headless Chromium: the three planets in their colours, moving; x typed in
// the terminal or in the picture changes nothing; r typed in the terminal, or in the picture,
// ends the program with "Press R to finish te program" and exit status 0; Ctrl+C in the terminal
// gives the run-time report, status 9 and errinfo.$$$ as a download; a page served without the
// cross-origin isolation headers says plainly that it cannot run. No run may leave an uncaught
// error in the page.
'use strict';

const t = require('./pages');

const PLANETS = { 0x008080: 'cyan', 0xb06000: 'brown', 0x0000ff: 'light blue' };
const ENDED = '\r\nPress R to finish te program\r\n';

async function terminalKeys(browser, server) {
  const page = await t.open(browser, `${server.base}/zentavor.html`);
  const { counts } = await t.waitColours(page, Object.keys(PLANETS).map((rgb) => [rgb, 20, 1e9]));
  for (const [rgb, name] of Object.entries(PLANETS)) {
    t.check(counts[rgb] >= 20, `the ${name} planet is drawn (${counts[rgb] || 0} pixels)`);
  }
  t.check(await t.waitChange(page, await t.canvasHash(page)), 'the picture moves');

  // x: nothing to see, and the program runs on (the picture still moves after it).
  await page.keyboard.type('x');
  t.check(await t.waitChange(page, await t.canvasHash(page)),
          'x typed in the terminal: it runs on');

  await page.keyboard.type('r');
  await page.keyboard.press('Enter');
  t.check(await t.waitEnd(page), 'r typed in the terminal ends it');
  const s = await t.state(page);
  t.check(s.output.startsWith(ENDED),
          `"Press R to finish te program" after x and r (${JSON.stringify(s.output)})`);
  t.check(s.status === 0 && s.output.includes('exit status 0'),
          `exit status 0 shown (${s.status})`);
  t.check(!s.link && s.errinfo === null, 'no run-time report after r');
  t.noErrors(s, 'terminal keys');
  await page.close();
}

async function canvasKeys(browser, server) {
  const page = await t.open(browser, `${server.base}/zentavor.html`);
  await page.click('#graph');
  await page.keyboard.press('KeyX');
  t.check(await t.waitChange(page, await t.canvasHash(page)), 'x typed in the picture: it runs on');
  await page.keyboard.press('KeyR');
  t.check(await t.waitEnd(page), 'r typed in the picture ends it');
  const s = await t.state(page);
  t.check(s.output.startsWith(ENDED) && s.status === 0,
          `r in the picture: "Press R to finish te program", status ${s.status}`);
  t.noErrors(s, 'picture keys');
  await page.close();
}

function breakKey(browser, server) {
  return t.breakKey(browser, `${server.base}/zentavor.html`);
}

async function withoutIsolation(browser, server) {
  const page = await t.open(browser, `${server.plain}/zentavor.html`, false);
  const shown = await page.evaluate(() => {
    const status = document.getElementById('status');
    return { text: status.hidden ? '' : status.textContent,
             canvas: document.getElementById('graph').getClientRects().length > 0,
             error: zt.error };
  });
  t.check(shown.error === 'no threads' && shown.text.includes('Cross-Origin-Embedder-Policy') &&
          !shown.canvas, `served without the headers: says so (${JSON.stringify(shown.text)})`);
  t.noErrors(await t.state(page), 'without the headers');
  await page.close();
}

t.run(terminalKeys, canvasKeys, breakKey, withoutIsolation);
