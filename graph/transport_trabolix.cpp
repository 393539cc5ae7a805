// Revision 1 of the graphics library (Trabolix): each Init starts a window thread that owns the
// window; drawing requests pass one at a time, through the requestPosted and serverReady events,
// to a drawing thread that carries them out on the back buffer.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "graph/Graph.h"
#include "graph/core.h"
#include "rts/RTS.h"

namespace graphcore {

// Revision 1's drawing rules: a line leaves out its last pixel, filled shapes have no pen,
// rectangles exclude their right column and bottom row; ClearScreen leaves the text position.
const graphraster::Rules kRules = {
    .lineEndPoint = false, .filledOutline = false, .rectangleInclusive = false};
const bool kClearScreenHomesText = false;

namespace {

// The window's frame in the window system's metrics: the outer size is Width x Depth, so the
// client area is smaller by two borders and the caption.
constexpr uint32_t kBorder = 1;
constexpr uint32_t kCaption = 19;

// The private message that starts the drawing thread once the message loop runs.
constexpr uint32_t kResumeDrawing = platform::WM_USER + 1000;

bool started;
bool gCreated;  // a window was opened by Init and not yet closed by Exit
int32_t gWinX, gWinY;

// Both manual-reset. The main thread waits for serverReady, resets it, fills the request block
// and signals requestPosted; the drawing thread does the rest. Both sides watch the event for a
// while before they sleep (kHandOverSpinNs): a request is then handed over in a fraction of a
// microsecond rather than the 9 of a sleep and a wake-up.
rts::Event gRequestPosted;
rts::Event gServerReady;
constexpr int64_t kHandOverSpinNs = 20000;

// Releases the drawing thread, created "suspended", once the window's loop runs.
rts::Event gResume;
std::atomic<bool> gDrawingThreadExists;  // set once by the window thread

// Requests issued while no drawing thread runs (before a successful Init) go here and are dropped.
Request gDropped;
bool gDropping;

// How the latest window thread's start went: 1 window open, -1 failed. Signalled to Init.
std::atomic<int> gWindowOutcome;
rts::Event gWindowStarted(rts::EventReset::kAuto);

pthread_t gWindowThread;
rts::Event gWindowEnded;     // manual-reset: set as the window thread returns
bool gWindowThreadJoinable;  // main thread only

bool gFirstActivation;  // window thread only

// Puts the calling thread above normal priority where the system allows it, so that a posted
// request is carried out at once even while other programs keep every processor busy (there a
// thread of normal priority waits for its turn, and a pass of some 1,400 requests took 50 to
// 130 ms instead of a quarter of one). First choice: the lowest real-time priority, round-robin,
// which runs the thread whenever it has a request; it needs CAP_SYS_NICE (root) or an
// RLIMIT_RTPRIO of at least 1. Else a nice value one below normal, which needs CAP_SYS_NICE or an
// RLIMIT_NICE above 20. Else the thread stays at normal priority: nothing fails.
void RaisePriority() {
  sched_param lowest{};
  lowest.sched_priority = sched_get_priority_min(SCHED_RR);
  if (pthread_setschedparam(pthread_self(), SCHED_RR, &lowest) == 0) return;
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
}

// The second Init's failure box, shown by the window thread over its window (a box from another
// thread would open under the window kept above all others, and SDL's box is not for use beside
// the window thread). The window thread signals when the box is dismissed.
constexpr uint32_t kShowAlreadyCreated = platform::WM_USER + 1001;
rts::Event gBoxDone(rts::EventReset::kAuto);

void* Drawing(void*) {
  rts::BlockBreakSignals();
  RaisePriority();
  gResume.Wait();
  gServerReady.Set();
  for (;;) {
    gRequestPosted.SpinThenWait(kHandOverSpinNs);
    gRequestPosted.Reset();
    if (gRequest.kind == rqSetup) {
      SetupBackBuffer(Graph::Width, Graph::Depth);
      gExecuted[rqSetup].fetch_add(1, std::memory_order_relaxed);
    } else {
      Execute(gRequest);
    }
    gServerReady.Set();
  }
}

bool WindowProc(platform::WinHandle window, const platform::WinMessage& m) {
  switch (m.message) {
    case platform::WM_CREATE:
      // The drawing thread is the process's one: a later window finds it running.
      if (!gDrawingThreadExists.load()) {
        pthread_t thread;
        if (StartThread(thread, Drawing, true) == 0) {
          gDrawingThreadExists.store(true);
        }
      }
      PostMessage(kResumeDrawing);
      return true;
    case kResumeDrawing:
      gResume.Set();
      return true;
    case platform::WM_ACTIVATE:
      usleep(50000);
      if (gFirstActivation && m.wParam != platform::WA_INACTIVE) {
        // The first activation goes back to the window that had it; the window system gives us
        // no handle of it, and the window was shown without taking the focus.
        gFirstActivation = false;
      }
      return true;
    case platform::WM_PAINT:
      PaintAll(window);
      return true;
    case kShowAlreadyCreated:
      platform::WinMessageBoxOver(window, "Graph window was already created", "Graph");
      gBoxDone.Set();
      return true;
    case platform::WM_CLOSE:
      // The window is destroyed and its thread ends; drawing goes on into the back buffer.
      return false;
    default:
      return true;
  }
}

void* WindowThread(void*) {
  rts::BlockBreakSignals();
  struct Ended {
    ~Ended() { gWindowEnded.Set(); }
  } ended;
  gFirstActivation = true;
  char why[256];
  if (!platform::WinVideoStart(why, sizeof why)) {
    Fail("Graph server not run", "Graph", why);
    gWindowOutcome.store(-1);
    gWindowStarted.Set();
    return nullptr;
  }
  const uint32_t width = Graph::Width - 2 * kBorder;
  const uint32_t depth = Graph::Depth - kCaption - 2 * kBorder;
  platform::WinHandle window = 0;
  const bool fits = Graph::Width > 2 * kBorder && Graph::Depth > kCaption + 2 * kBorder &&
                    Graph::Width <= static_cast<uint32_t>(kMaxWidth) &&
                    Graph::Depth <= static_cast<uint32_t>(kMaxDepth);
  if (fits) {
    window = platform::WinCreate("Graph", gWinX, gWinY, width, depth,
                                 platform::WinStyle{true, true, WindowScale()});
  }
  if (window == 0 && !platform::WinVideoStart(why, sizeof why)) {
    Fail("Graph server not run", "Graph", why);  // the display connection broke meanwhile
    gWindowOutcome.store(-1);
    gWindowStarted.Set();
    return nullptr;
  }
  if (window == 0) {
    char size[64];
    std::snprintf(size, sizeof size, "no window of %u x %u pixels", Graph::Width, Graph::Depth);
    Fail("Couldn't create main window", nullptr, fits ? platform::WinCreateFailure() : size);
    gWindowOutcome.store(-1);
    gWindowStarted.Set();
    return nullptr;
  }
  ClearPostedMessages();
  gWindow.store(window);
  WindowProc(window, platform::WinMessage{platform::WM_CREATE, 0, 0});
  if (!gDrawingThreadExists.load()) {
    Fail("Graph server not run", "Graph");
    gWindow.store(0);
    platform::WinDestroy(window);
    gWindowOutcome.store(-1);
    gWindowStarted.Set();
    return nullptr;
  }
  gWindowOutcome.store(1);
  gWindowStarted.Set();
  const LoopEnd end = MessageLoop(window, WindowProc);
  gWindow.store(0);
  WindowGone();
  if (end != LoopEnd::kDisplayLost) platform::WinDestroy(window);
  return nullptr;
}

// Shows "Graph window was already created": by the window thread when it runs its loop, else
// here (no other thread then uses SDL).
void AlreadyCreated() {
  if (gWindow.load() != 0) {
    PostMessage(kShowAlreadyCreated);
    // The box may stay open any time; the window thread may also end first (its window lost or
    // closed), and then nobody takes the message.
    for (;;) {
      if (gBoxDone.WaitForUs(20000)) return;
      if (gWindow.load() == 0) {
        if (gBoxDone.WaitForUs(0)) return;  // shown just before the thread ended
        break;
      }
    }
  }
  Fail("Graph window was already created", "Graph");
}

void Finalise() {
  if (gCreated) Graph::Exit();
}

}  // namespace

Request& BeginRequest(uint8_t kind) {
  gDropping = !gDrawingThreadExists.load();
  if (gDropping) return gDropped;
  gServerReady.SpinThenWait(kHandOverSpinNs);
  gServerReady.Reset();
  gRequest.kind = kind;
  return gRequest;
}

void PostRequest() {
  if (!gDropping) gRequestPosted.Set();
}

void WaitIdle() {
  if (gDrawingThreadExists.load()) gServerReady.SpinThenWait(kHandOverSpinNs);
}

}  // namespace graphcore

namespace Graph {

using namespace graphcore;

void Init() {
  if (!rts::Starting(started)) return;
  rts::AddFinaliser(Finalise);
  StartModule();
  gCreated = false;
}

bool Init(int32_t x, int32_t y, uint32_t width, uint32_t depth) {
  if (gCreated) {
    AlreadyCreated();
    return false;
  }
  if (!ReserveForInit(width, depth)) return false;
  gCreated = true;
  Width = width;
  Depth = depth;
  gWinX = x;
  gWinY = y;
  if (gWindowThreadJoinable) {  // the previous window was closed by its close button
    pthread_join(gWindowThread, nullptr);
    gWindowThreadJoinable = false;
  }
  gWindowOutcome.store(0);
  gWindowEnded.Reset();
  if (StartThread(gWindowThread, WindowThread, false) != 0) {
    Fail("Graph server not run", "Graph");
    return false;
  }
  gWindowThreadJoinable = true;
  // The window thread reports whether it could open the window; without it the drawing thread
  // would never become ready.
  gWindowStarted.Wait();
  if (gWindowOutcome.load() != 1) return false;
  Request& r = BeginRequest(rqSetup);
  (void)r;
  PostRequest();
  InitCommonTail();
  return true;
}

void Exit() {
  if (!gCreated) return;
  gCreated = false;
  // Ends the window thread, which destroys its window; the drawing thread goes on. A thread
  // whose window or display was lost has ended already. One that hangs in a call to an X server
  // that stopped answering is left behind after a while, so the program can still end (a later
  // Init waits for it).
  PostMessage(platform::WM_QUIT);
  if (gWindowThreadJoinable && gWindowEnded.WaitForUs(5000000)) {
    pthread_join(gWindowThread, nullptr);
    gWindowThreadJoinable = false;
  }
}

void SetLineStyle(uint32_t style) {
  LineStyle(style < 6 ? style : kPsSolid);
}

}  // namespace Graph
