// Failure messages of the browser's window service: a page has no modal box that would not stop
// its main thread, so every message is the line "<caption>: <text>" (or "<text>") on standard
// error, which the page shows in its terminal.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/Window.h"
#include "rts/RTS.h"

namespace platform {

void WinMessageLine(const char* text, const char* caption) {
  char line[512];
  const int n = caption ? std::snprintf(line, sizeof line, "%s: %s\n", caption, text)
                        : std::snprintf(line, sizeof line, "%s\n", text);
  if (n > 0)
    rts::WriteText(STDERR_FILENO, line,
                   std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
}

void WinMessageBox(const char* text, const char* caption) {
  WinMessageLine(text, caption);
}

void WinMessageBoxAndLine(const char* text, const char* caption) {
  WinMessageLine(text, caption);
}

void WinMessageBoxOver(WinHandle, const char* text, const char* caption) {
  WinMessageLine(text, caption);
}

}  // namespace platform
