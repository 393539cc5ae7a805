// The desktop window service's start: SDL video, once per process, on the display the
// environment names, with the X server's refusal told in a few words.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win_internal.h"

namespace platform {
namespace win {

bool AddressSpaceLeft(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return false;
  munmap(p, bytes);
  return true;
}

NamedDisplay EnvironmentDisplay() {
  NamedDisplay d;
  d.asked = std::getenv("SDL_VIDEODRIVER");
  d.x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  d.askedDriver = d.asked && *d.asked;
  d.x11Named = d.x11 && *d.x11;
  d.waylandNamed = wayland && *wayland;
  return d;
}

bool HeadlessDriver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
                  std::strcmp(name, "evdev") == 0);
}

bool DisplayAvailable() {
  const NamedDisplay env = EnvironmentDisplay();
  return !HeadlessDriver(env.asked) && (env.x11Named || env.waylandNamed);
}

bool VideoFailed() {
  rts::Hold hold(gWin.videoLock);
  return gWin.videoTried && !gWin.videoOk;
}

namespace {

// Standard error diverted into a memory file while SDL connects: when the X server refuses the
// connection, the X connection library writes the server's reason there itself, on every try.
struct Diverted {
  int saved = -1;  // standard error as it was
  int file = -1;   // where it goes meanwhile
};

Diverted DivertStderr() {
  Diverted d;
  d.file = memfd_create("x-connection", MFD_CLOEXEC);
  if (d.file < 0) return d;  // no descriptor left: nothing is diverted
  d.saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (d.saved < 0 || dup2(d.file, 2) < 0) {
    if (d.saved >= 0) close(d.saved);
    close(d.file);
    return Diverted{};
  }
  return d;
}

// Puts standard error back and answers what was written meanwhile in `said` (one line at most,
// without its line end; empty when nothing was diverted). With `pass`, the text goes on to
// standard error as it would have.
void RestoreStderr(Diverted& d, char* said, std::size_t size, bool pass) {
  said[0] = 0;
  if (d.file < 0) return;
  dup2(d.saved, 2);
  close(d.saved);
  char text[512];
  const ssize_t n = pread(d.file, text, sizeof text - 1, 0);
  close(d.file);
  d = Diverted{};
  if (n <= 0) return;
  if (pass) {
    ssize_t ignored = write(2, text, static_cast<std::size_t>(n));
    (void)ignored;
  }
  text[n] = 0;
  std::snprintf(said, size, "%.*s", static_cast<int>(std::strcspn(text, "\r\n")), text);
}

// Answers how many more file descriptors the process can open, counting up to `most`.
int DescriptorsLeft(int most) {
  int fds[16];
  int n = 0;
  while (n < most && n < 16) {
    fds[n] = fcntl(0, F_DUPFD_CLOEXEC, 0);
    if (fds[n] < 0) {
      if (errno != EMFILE && errno != ENFILE) return most;  // no standard input: not counted
      break;
    }
    ++n;
  }
  for (int i = 0; i < n; ++i) close(fds[i]);
  return n;
}

// Answers whether an X server listens for the local display `name` (":N", ":N.S", "unix:N");
// true for a display on another host, which is not tried here.
bool ServerListens(const char* name) {
  const char* colon = std::strrchr(name, ':');
  if (!colon || !(colon == name || std::strncmp(name, "unix:", 5) == 0)) return true;
  const long number = std::strtol(colon + 1, nullptr, 10);
  for (bool abstract : {true, false}) {
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::snprintf(at.sun_path + (abstract ? 1 : 0), sizeof at.sun_path - 1, "/tmp/.X11-unix/X%ld",
                  number);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
                               std::strlen(at.sun_path + 1) + (abstract ? 0 : 1));
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&at), length) == 0;
    close(fd);
    if (up) return true;
  }
  return false;
}

// Why the X display `name` took no connection, in a few words: the server's reason as the X
// connection library wrote it (`said`), or what the process and the display's socket tell.
// Answers false when none of these explains it.
bool RefusalCause(const char* name, const char* said, char* why, std::size_t size) {
  const char* cause = nullptr;
  if (std::strstr(said, "uthoriz") || std::strstr(said, "MAGIC-COOKIE")) {
    cause = "authorisation refused";
  } else if (std::strstr(said, "aximum number of clients")) {
    cause = "server full";
  } else if (DescriptorsLeft(1) == 0) {
    cause = "no file descriptors left";
  } else if (!ServerListens(name)) {
    cause = "no X server";
  }
  if (cause && *said) {
    std::snprintf(why, size, "display %s: %s, the server says \"%s\"", name, cause, said);
  } else if (cause) {
    std::snprintf(why, size, "display %s: %s", name, cause);
  } else if (*said) {
    std::snprintf(why, size, "display %s: the server says \"%s\"", name, said);
  }
  return cause || *said;
}

// Address space the display's libraries take as they start (measured: about 10 MB with SDL's X11
// driver, its threads' arenas not counted), with room to spare.
constexpr std::size_t kVideoHeadroom = std::size_t{16} << 20;

// File descriptors the start of SDL's X11 driver takes: the connection, the authority file, one
// more, and the two that divert standard error meanwhile.
constexpr int kDescriptorsNeeded = 5;

// WinVideoStart's answer, its reason in `why` (gWin.videoLock held).
bool Answer(char* why, std::size_t size) {
  const bool ok = gWin.videoOk && !gWin.displayLost.load();
  if (!ok && why && size) {
    std::snprintf(why, size, "%s", gWin.videoOk ? "display connection lost" : gWin.videoWhy);
  }
  return ok;
}

}  // namespace
}  // namespace win

bool WinVideoStart(char* why, std::size_t size) {
  using namespace win;
  rts::Hold hold(gWin.videoLock);
  if (!gWin.videoTried) {
    gWin.videoTried = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    setenv("SDL_VIDEO_X11_WMCLASS", "GraphWnd", 0);
    // Without a display SDL falls back to its offscreen driver; that counts as a display only
    // when asked for by name (as the tests do).
    const NamedDisplay env = EnvironmentDisplay();
    const char* asked = env.asked;
    const char* x11 = env.x11;
    const bool askedDriver = env.askedDriver;
    const bool x11Named = env.x11Named;
    const bool waylandNamed = env.waylandNamed;
    if (!askedDriver && !x11Named && !waylandNamed) {
      std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy,
                    "no display: DISPLAY and WAYLAND_DISPLAY unset");
    } else {
      // Only the display the environment names is tried: with DISPLAY alone, SDL would go on to
      // Wayland after a failed X connection, whose library complains on standard error about a
      // runtime directory that has nothing to do with the X display.
      if (!askedDriver && x11Named && !waylandNamed) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
      // The display's libraries crash rather than fail when memory runs out as they start.
      if (!AddressSpaceLeft(kVideoHeadroom)) {
        std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy,
                      "not enough memory left to start the display's libraries");
        return Answer(why, size);
      }
      // A loaded X server refuses a connection now and then: try again a few times within about
      // a second before giving up.
      // The X server's own reason for a refusal is written by the X connection library on each
      // try; it is kept from the terminal and told once, in our line. A refused authorisation
      // or a process without descriptors stays as it is: no more tries then.
      using std::chrono::milliseconds;
      static constexpr milliseconds kRetryDelays[] = {milliseconds{0},   milliseconds{50},
                                                      milliseconds{100}, milliseconds{150},
                                                      milliseconds{250}, milliseconds{400}};
      const bool x11Only = x11Named && !askedDriver;
      bool up = false;
      for (milliseconds delay : kRetryDelays) {
        rts::SleepFor(delay);
        if (x11Only && DescriptorsLeft(kDescriptorsNeeded) < kDescriptorsNeeded) {
          // Without them the connection fails in a way that tells nothing true (the authority
          // file cannot be read, so the server asks for an authorisation).
          std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy, "display %s: no file descriptors left",
                        x11);
          break;
        }
        Diverted diverted = x11Only ? DivertStderr() : Diverted{};
        up = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
        char said[256];
        RestoreStderr(diverted, said, sizeof said, up);
        if (up) break;
        if (!x11Only) {
          std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy, "%s", SDL_GetError());
        } else if (!RefusalCause(x11, said, gWin.videoWhy, sizeof gWin.videoWhy)) {
          std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy, "display %s: %s", x11, SDL_GetError());
        } else if (std::strstr(gWin.videoWhy, "authorisation") ||
                   std::strstr(gWin.videoWhy, "descriptors")) {
          break;
        }
      }
      const char* driver = up ? SDL_GetCurrentVideoDriver() : nullptr;
      const bool headless = HeadlessDriver(driver);
      if (!up) {
        // gWin.videoWhy holds SDL's reason.
      } else if (headless && !(asked && std::strcmp(asked, driver) == 0)) {
        std::snprintf(gWin.videoWhy, sizeof gWin.videoWhy, "no display: SDL chose its %s driver",
                      driver);
      } else {
        gWin.videoOk = true;
        SDL_StopTextInput();
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        if (std::strcmp(driver, "x11") == 0) InstallXHandlers();
      }
    }
  }
  return Answer(why, size);
}

}  // namespace platform
