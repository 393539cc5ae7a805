// Failure messages of the desktop window service: SDL's message boxes where a display takes them,
// else a line on standard error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/win_internal.h"

namespace platform {
namespace {

using win::gWin;

// The message as one line on standard error: "<caption>: <text>", or "<text>".
void WriteMessageLine(const char* text, const char* caption) {
  char line[512];
  int n = caption ? std::snprintf(line, sizeof line, "%s: %s\n", caption, text)
                  : std::snprintf(line, sizeof line, "%s\n", text);
  if (n > 0) {
    ssize_t ignored =
        write(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
    (void)ignored;
  }
}

// Shows the box where a display takes it, else (or when told to anyway) writes the line first.
void ShowMessage(const char* text, const char* caption, bool line) {
  // After a lost connection SDL's box would still use it (to raise the focused window). Where
  // video could not start, SDL's X11 box would try the display again in a forked child; in a
  // process with other threads that child can hang (seen under the address sanitizer on a
  // loaded machine), and with no display it could only fail.
  const bool box = win::DisplayAvailable() && !gWin.displayLost.load() && !win::VideoFailed();
  if (line || !box) WriteMessageLine(text, caption);
  if (box &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text, nullptr) !=
          0 &&
      !line) {
    WriteMessageLine(text, caption);
  }
}

}  // namespace

void WinMessageBox(const char* text, const char* caption) {
  ShowMessage(text, caption, false);
}

void WinMessageLine(const char* text, const char* caption) {
  WriteMessageLine(text, caption);
}

void WinMessageBoxAndLine(const char* text, const char* caption) {
  ShowMessage(text, caption, true);
}

void WinMessageBoxOver(WinHandle window, const char* text, const char* caption) {
  SDL_Window* w = win::SdlWindow(window);
  if (!w || !win::DisplayAvailable() || gWin.displayLost.load() || gWin.xWindowGone.load()) {
    WinMessageBox(text, caption);
    return;
  }
  // The box belongs to the window (it stays above it and opens over it); a window kept above
  // all others steps down while the box is open, so no window manager puts the box under it.
  const bool onTop = (SDL_GetWindowFlags(w) & SDL_WINDOW_ALWAYS_ON_TOP) != 0;
  if (onTop) SDL_SetWindowAlwaysOnTop(w, SDL_FALSE);
  const int shown =
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "Error", text, w);
  if (onTop) SDL_SetWindowAlwaysOnTop(w, SDL_TRUE);
  if (shown != 0) WriteMessageLine(text, caption);
}

}  // namespace platform
