// The page's side of the browser platform. The page's main thread keeps the terminal (xterm.js
// in #terminal), the canvas (#graph) and the animation frames; the program runs on WebAssembly
// threads (its main on a worker). This script:
// - refuses plainly, in the page, when the page has no threads (served without the
//   cross-origin isolation headers);
// - measures the display's refresh from the animation frames before the program starts;
// - draws the window's pictures into the canvas, one per animation frame, as the window thread
//   hands them over (platform/web_win_window.cpp);
// - hands the canvas's keys and focus to the window thread (platform/web_win_events.cpp) and the
//   terminal's typed bytes to the console's source thread (platform/web_con_source.cpp);
// - writes standard output and error into the terminal (LF as CR LF);
// - when the program ends: "exit status N", how to run it again, and errinfo.$$$ as a download.
// `window.zt` is the page's state for scripts (tests, benchmarks).
// The page sets `window.ztProgram` = {name, width, height} before it loads this script.
'use strict';

const zt = {
  program: window.ztProgram.name,
  threads: false,   // the page has WebAssembly threads
  error: null,      // why the program could not run
  started: false,   // the program's runtime is up
  ended: false,
  status: null,     // exit status once ended
  output: '',       // everything written to the terminal, as text
  windowOpen: false,  // the program's window is open (the canvas shows it)
  framesDrawn: 0,   // pictures drawn into the canvas
  firstFrameMs: null,  // performance.now() of the first picture
  refreshUs: 0,     // the refresh period measured before the start
  bells: 0,
  errinfo: null,    // the text of errinfo.$$$ once offered
  pageErrors: [],   // uncaught errors of the page
  // Types `text` in the terminal, as keys typed there would.
  type(text) { ztHost.typed(text); },
};
window.zt = zt;

const ztHost = (() => {
  const canvas = document.getElementById('graph');
  const status = document.getElementById('status');
  const links = document.getElementById('links');
  const context = canvas.getContext('2d', { alpha: false });
  let image = null;       // the canvas's ImageData, the window's size
  let term = null;
  const pendingTyped = [];  // bytes typed before the program's runtime was up
  const encoder = new TextEncoder();
  const decoder = new TextDecoder();

  function say(text) {
    status.textContent = text;
    status.hidden = false;
  }

  window.addEventListener('error', (e) => {
    zt.pageErrors.push(String(e.message || e));
  });
  window.addEventListener('unhandledrejection', (e) => {
    zt.pageErrors.push(String(e.reason));
  });

  // Output: bytes gathered and written to the terminal once per task.
  let outBytes = [];
  let lastByte = 0;
  let outScheduled = false;
  function flushOutput() {
    outScheduled = false;
    if (outBytes.length === 0) return;
    const bytes = Uint8Array.from(outBytes);
    outBytes = [];
    zt.output += decoder.decode(bytes, { stream: true });
    term.write(bytes);
  }
  function put(byte) {
    if (byte === null || byte === undefined) return;
    if (byte === 10 && lastByte !== 13) outBytes.push(13);
    outBytes.push(byte);
    lastByte = byte;
    if (!outScheduled) {
      outScheduled = true;
      setTimeout(flushOutput, 0);
    }
  }
  function writeLine(text) {
    for (const b of encoder.encode(text + '\n')) put(b);
    flushOutput();
  }

  // Input typed in the terminal: through the staging area to the console's source thread.
  function typed(text) {
    for (const b of encoder.encode(text)) pendingTyped.push(b);
    if (!zt.started || zt.ended) return;
    const staging = Module._web_con_staging();
    const room = Module._web_con_staging_size();
    while (pendingTyped.length > 0) {
      const n = Math.min(room, pendingTyped.length);
      Module.HEAPU8.set(pendingTyped.slice(0, n), staging);
      Module._web_con_typed(n);
      pendingTyped.splice(0, n);
    }
  }

  // One picture per animation frame. The window thread asks for a frame when it has a picture
  // (wake), and a frame that draws one asks for the next; a frame with nothing new asks for none,
  // so an idle program leaves the browser idle.
  let frameAsked = false;
  function wake() {
    if (frameAsked) return;
    frameAsked = true;
    requestAnimationFrame(drawFrame);
  }
  function drawFrame() {
    frameAsked = false;
    if (zt.ended || !zt.started) return;
    const p = Module._web_win_frame();
    if (p === 0) return;
    wake();  // while pictures come, look for the next one at the next frame as well
    const h32 = Module.HEAP32;
    const rgba = h32[p >> 2] >>> 0;
    const width = h32[(p >> 2) + 1];
    const height = h32[(p >> 2) + 2];
    const left = h32[(p >> 2) + 3];
    const top = h32[(p >> 2) + 4];
    const right = h32[(p >> 2) + 5];
    const bottom = h32[(p >> 2) + 6];
    try {
      // A new window's first picture may come before the page has heard of the window.
      if (image === null || image.width !== width || image.height !== height) {
        canvas.width = width;
        canvas.height = height;
        image = context.createImageData(width, height);
      }
      const heap = Module.HEAPU8;
      if (left === 0 && right === width) {
        image.data.set(heap.subarray(rgba + top * width * 4, rgba + bottom * width * 4),
                       top * width * 4);
      } else {
        for (let y = top; y < bottom; ++y) {
          const from = rgba + (y * width + left) * 4;
          image.data.set(heap.subarray(from, from + (right - left) * 4), (y * width + left) * 4);
        }
      }
    } finally {
      Module._web_win_drawn();
    }
    context.putImageData(image, 0, 0, left, top, right - left, bottom - top);
    ++zt.framesDrawn;
    if (zt.firstFrameMs === null) zt.firstFrameMs = performance.now();
  }

  // The refresh period: the median of a dozen animation-frame intervals (16667 us when the
  // frames do not come within a second, as in a hidden tab).
  function measureRefresh(done) {
    const times = [];
    const giveUp = setTimeout(() => done(16667), 1000);
    function tick(t) {
      times.push(t);
      if (times.length < 13) {
        requestAnimationFrame(tick);
        return;
      }
      clearTimeout(giveUp);
      const gaps = times.slice(1).map((x, i) => x - times[i]).sort((a, b) => a - b);
      done(Math.max(1000, Math.round(gaps[gaps.length >> 1] * 1000)));
    }
    requestAnimationFrame(tick);
  }

  function offerErrInfo() {
    let data;
    try {
      data = Module.FS.readFile('/errinfo.$$$');
    } catch (e) {
      return;
    }
    zt.errinfo = decoder.decode(data);
    const a = document.createElement('a');
    a.download = 'errinfo.$$$';
    a.href = URL.createObjectURL(new Blob([data], { type: 'text/plain' }));
    a.textContent = 'errinfo.$$$ (the run-time report)';
    links.append('Download ', a);
    links.hidden = false;
  }

  function ended(code) {
    if (zt.ended) return;
    zt.ended = true;
    zt.status = code;
    flushOutput();
    offerErrInfo();
    writeLine('');
    writeLine('exit status ' + code);
    writeLine('Reload the page (F5) to run ' + zt.program + ' again.');
    canvas.classList.add('ended');
  }

  function start() {
    if (!window.crossOriginIsolated || typeof SharedArrayBuffer === 'undefined') {
      zt.error = 'no threads';
      say('This page cannot run ' + zt.program + ': it needs WebAssembly threads, which a ' +
          'browser gives only to a page served with the headers ' +
          '"Cross-Origin-Opener-Policy: same-origin" and ' +
          '"Cross-Origin-Embedder-Policy: require-corp". Serve the folder with ' +
          '"make serve-web", or see the README for other hosts.');
      document.querySelector('main').style.display = 'none';
      return;
    }
    zt.threads = true;
    term = new Terminal({ screenReaderMode: true, cols: 80, rows: 25, convertEol: false,
                          fontSize: 15 });
    term.open(document.getElementById('terminal'));
    term.onData(typed);
    term.focus();

    canvas.tabIndex = 0;
    const key = (down) => (e) => {
      const usage = ztKeyUsages[e.code];
      if (usage === undefined || !zt.started || zt.ended) return;
      // The browser keeps its own shortcuts (Ctrl+R, Ctrl+W...); the key still reaches the window.
      if (!e.ctrlKey && !e.metaKey) e.preventDefault();
      Module._web_win_key(usage, down ? 1 : 0, e.repeat ? 1 : 0, e.altKey ? 1 : 0);
    };
    canvas.addEventListener('keydown', key(true));
    canvas.addEventListener('keyup', key(false));
    canvas.addEventListener('focus', () => zt.started && Module._web_win_focus(1));
    canvas.addEventListener('blur', () => zt.started && Module._web_win_focus(0));
    canvas.addEventListener('mousedown', () => canvas.focus());

    const refresh = new Promise(measureRefresh);
    window.Module = {
      arguments: [],
      thisProgram: zt.program,
      // The workers get the page's query (?clock=..., see web_pre.js).
      locateFile: (file, prefix) => prefix + file + (file.endsWith('.worker.js') ? location.search : ''),
      noFSInit: false,
      stdin: () => null,
      stdout: put,
      stderr: put,
      // The program starts once the refresh is known (measured while its files load).
      preRun: [() => {
        Module.addRunDependency('refresh');
        refresh.then((us) => {
          zt.refreshUs = us;
          Module._web_win_refresh(us);
          Module.removeRunDependency('refresh');
        });
      }],
      onRuntimeInitialized: () => {
        zt.started = true;
        typed('');
      },
      onExit: ended,
      // The run-time's own end: told by onExit; not thrown on as an uncaught error of the page.
      quit: (status) => ended(status),
      onAbort: (what) => {
        writeLine('');
        writeLine(zt.program + ' stopped: ' + what);
        ended(134);
      },
    };
    const script = document.createElement('script');
    script.src = zt.program + '.js';
    document.body.append(script);
  }

  return {
    start,
    typed,
    wake,
    windowCreated(width, height, scale) {
      canvas.style.width = width * scale + 'px';
      canvas.style.height = height * scale + 'px';
      zt.windowOpen = true;
    },
    windowDestroyed() {
      zt.windowOpen = false;
    },
    bell() {
      ++zt.bells;
      const box = document.getElementById('terminal');
      box.classList.remove('bell');
      void box.offsetWidth;  // restart the flash
      box.classList.add('bell');
    },
  };
})();

ztHost.start();
