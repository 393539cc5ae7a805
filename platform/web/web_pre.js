// Runs first in the program's script, on the page and in each of its workers. A page opened with
// ?clock=<milliseconds since 1970> stops the program's wall clock at that instant (as faketime
// does on Linux), so Trabolix's random seed, taken from the clock, is the same in every run: for
// tests. The page hands the query on to the workers (web_host.js, locateFile), whose wall clock
// is the one the program reads.
(function freezeClock() {
  if (typeof self === 'undefined' || !self.location) return;
  const m = /[?&]clock=(\d+)/.exec(self.location.search);
  if (!m) return;
  const frozen = Number(m[1]);
  Date.now = () => frozen;
})();
