// The console service's calls that every platform answers alike from the host's state record:
// the mode as last set, whether input has ended, whether a terminal is read, the bell's length,
// text out, and the source's test seams. The platform's source file sets the record's fields.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/Console.h"
#include "platform/con_internal.h"
#include "platform/con_state.h"
#include "rts/RTS.h"
#include "rts/Sync.h"

namespace platform {

namespace {
constexpr detail::Source& gSource = detail::gCon.source;
}  // namespace

bool ConGetMode(ConHandle handle, uint32_t& mode) {
  if (handle != kConInput || !gSource.terminal.load()) return false;
  mode = gSource.mode.load();
  return true;
}

bool ConInputEnded() {
  return gSource.ended.load();
}

bool ConIsTerminal() {
  return gSource.terminal.load();
}

void ConBeep(uint32_t, std::chrono::milliseconds duration) {
  detail::RingBell();
  rts::SleepFor(duration);
}

void ConWriteText(const char* text, std::size_t length) {
  rts::WriteText(STDOUT_FILENO, text, length);
}

namespace detail {

uint64_t SourceBytesRead() {
  return gSource.bytesRead.load();
}

void SetEscapeTimeout(std::chrono::milliseconds timeout) {
  gSource.escapeTimeoutMs.store(timeout.count());
}

void StartSource(void* (*body)(void*), void* arg) {
  // The thread's stack holds the read buffer and little else (the decoder is in the record).
  const int failed = rts::StartThread(body, arg, std::size_t{256} << 10);
  if (failed == 0) return;
  char line[160];
  const int n = std::snprintf(line, sizeof line, "Console: keys cannot be read (%s)\n",
                              std::strerror(failed));
  rts::WriteAll(STDERR_FILENO, line, static_cast<std::size_t>(n));
  gSource.ended.store(true);
}

}  // namespace detail

}  // namespace platform
