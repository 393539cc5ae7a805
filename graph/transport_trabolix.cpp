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

namespace {

// The window's frame in the window system's metrics: the outer size is Width x Depth, so the
// client area is smaller by two borders and the caption.
constexpr uint32_t kBorder = 1;
constexpr uint32_t kCaption = 19;

// The private message that starts the drawing thread once the message loop runs.
constexpr uint32_t kResumeDrawing = platform::WM_USER + 1000;

// Both sides watch the hand-over events for a while before they sleep: a request is then handed
// over in a fraction of a microsecond rather than the 9 of a sleep and a wake-up.
constexpr std::chrono::microseconds kHandOverSpin{20};

// Revision 1's own state, beside the device record.
struct Server {
  bool created;  // a window was opened by Init and not yet closed by Exit

  // Both manual-reset. The main thread waits for serverReady, resets it, fills the request block
  // and signals requestPosted; the drawing thread does the rest.
  rts::Event requestPosted{rts::EventReset::kManual};
  rts::Event serverReady{rts::EventReset::kManual};

  // Releases the drawing thread, created "suspended", once the window's loop runs.
  rts::Event resume{rts::EventReset::kManual};
  std::atomic<bool> drawingThreadExists;  // set once by the window thread; kept by a reset

  // Requests issued while no drawing thread runs (before a successful Init) go here and are
  // dropped.
  Request dropped;
  bool dropping;

  // How the latest window thread's start went: 1 window open, -1 failed. Signalled to Init.
  std::atomic<int> windowOutcome;
  rts::Event windowStarted{rts::EventReset::kAuto};

  pthread_t windowThread;
  // Set as the window thread returns (manual-reset).
  rts::Event windowEnded{rts::EventReset::kManual};
  bool windowThreadJoinable;  // main thread only

  bool firstActivation;  // window thread only

  // The second Init's failure box is dismissed (see AlreadyCreated).
  rts::Event boxDone{rts::EventReset::kAuto};

  bool finaliserAdded;  // kept by a reset: the finaliser is registered once
};
constinit Server gServer{};

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
#ifdef SYS_gettid  // a thread's own nice value needs its kernel id (a browser has none)
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
#endif
}

// The second Init's failure box, shown by the window thread over its window (a box from another
// thread would open under the window kept above all others, and SDL's box is not for use beside
// the window thread). The window thread signals when the box is dismissed.
constexpr uint32_t kShowAlreadyCreated = platform::WM_USER + 1001;

void* Drawing(void*) {
  Device& d = Dev();
  rts::BlockBreakSignals();
  RaisePriority();
  gServer.resume.Wait();
  gServer.serverReady.Set();
  for (;;) {
    gServer.requestPosted.SpinThenWait(kHandOverSpin);
    gServer.requestPosted.Reset();
    if (d.request.kind == rqSetup) {
      SetupBackBuffer(Graph::Width, Graph::Depth);
      d.executed[rqSetup].fetch_add(1, std::memory_order_relaxed);
    } else {
      Execute(d.request);
    }
    gServer.serverReady.Set();
  }
}

bool WindowProc(platform::WinHandle window, const platform::WinMessage& m) {
  switch (m.message) {
    case platform::WM_CREATE:
      // The drawing thread is the process's one: a later window finds it running.
      if (!gServer.drawingThreadExists.load()) {
        pthread_t thread;
        if (StartThread(thread, Drawing, true) == 0) {
          gServer.drawingThreadExists.store(true);
        }
      }
      PostMessage(kResumeDrawing);
      return true;
    case kResumeDrawing:
      gServer.resume.Set();
      return true;
    case platform::WM_ACTIVATE:
      // The window procedure waits 50 ms on every activation before it answers: required
      // behaviour of this revision, not a pause standing in for a wait on something.
      rts::SleepFor(std::chrono::milliseconds{50});
      if (gServer.firstActivation && m.wParam != platform::WA_INACTIVE) {
        // The first activation goes back to the window that had it; the window system gives us
        // no handle of it, and the window was shown without taking the focus.
        gServer.firstActivation = false;
      }
      return true;
    case platform::WM_PAINT:
      PaintAll(window);
      return true;
    case kShowAlreadyCreated:
      platform::WinMessageBoxOver(window, "Graph window was already created", "Graph");
      gServer.boxDone.Set();
      return true;
    case platform::WM_CLOSE:
      // The window is destroyed and its thread ends; drawing goes on into the back buffer.
      return false;
    default:
      return true;
  }
}

void* WindowThread(void*) {
  Device& d = Dev();
  rts::BlockBreakSignals();
  struct Ended {
    ~Ended() { gServer.windowEnded.Set(); }
  } ended;
  gServer.firstActivation = true;
  char why[256];
  if (!platform::WinVideoStart(why, sizeof why)) {
    Fail("Graph server not run", "Graph", why);
    gServer.windowOutcome.store(-1);
    gServer.windowStarted.Set();
    return nullptr;
  }
  const uint32_t width = Graph::Width - 2 * kBorder;
  const uint32_t depth = Graph::Depth - kCaption - 2 * kBorder;
  platform::WinHandle window = 0;
  const bool fits = Graph::Width > 2 * kBorder && Graph::Depth > kCaption + 2 * kBorder &&
                    Graph::Width <= static_cast<uint32_t>(kMaxWidth) &&
                    Graph::Depth <= static_cast<uint32_t>(kMaxDepth);
  if (fits) {
    window = platform::WinCreate("Graph", d.winX, d.winY, width, depth,
                                 platform::WinStyle{true, true, WindowScale()});
  }
  if (window == 0 && !platform::WinVideoStart(why, sizeof why)) {
    Fail("Graph server not run", "Graph", why);  // the display connection broke meanwhile
    gServer.windowOutcome.store(-1);
    gServer.windowStarted.Set();
    return nullptr;
  }
  if (window == 0) {
    char size[64];
    std::snprintf(size, sizeof size, "no window of %u x %u pixels", Graph::Width, Graph::Depth);
    Fail("Couldn't create main window", nullptr, fits ? platform::WinCreateFailure() : size);
    gServer.windowOutcome.store(-1);
    gServer.windowStarted.Set();
    return nullptr;
  }
  ClearPostedMessages();
  d.window.store(window);
  WindowProc(window, platform::WinMessage{platform::WM_CREATE, 0, 0});
  if (!gServer.drawingThreadExists.load()) {
    Fail("Graph server not run", "Graph");
    d.window.store(0);
    platform::WinDestroy(window);
    gServer.windowOutcome.store(-1);
    gServer.windowStarted.Set();
    return nullptr;
  }
  gServer.windowOutcome.store(1);
  gServer.windowStarted.Set();
  const LoopEnd end = MessageLoop(window, WindowProc);
  d.window.store(0);
  WindowGone();
  if (end != LoopEnd::kDisplayLost) platform::WinDestroy(window);
  return nullptr;
}

// Shows "Graph window was already created": by the window thread when it runs its loop, else
// here (no other thread then uses SDL).
void AlreadyCreated() {
  if (Dev().window.load() != 0) {
    PostMessage(kShowAlreadyCreated);
    // The box may stay open any time; the window thread may also end first (its window lost or
    // closed), and then nobody takes the message.
    for (;;) {
      if (gServer.boxDone.WaitFor(std::chrono::milliseconds{20})) return;
      if (Dev().window.load() == 0) {
        if (gServer.boxDone.WaitFor({})) return;  // shown just before the thread ended
        break;
      }
    }
  }
  Fail("Graph window was already created", "Graph");
}

void Finalise() {
  if (gServer.created) Graph::Exit();
}

Request& BeginRequest(uint8_t kind) {
  gServer.dropping = !gServer.drawingThreadExists.load();
  if (gServer.dropping) return gServer.dropped;
  gServer.serverReady.SpinThenWait(kHandOverSpin);
  gServer.serverReady.Reset();
  Dev().request.kind = kind;
  return Dev().request;
}

void PostRequest() {
  if (!gServer.dropping) gServer.requestPosted.Set();
}

void WaitIdle() {
  if (gServer.drawingThreadExists.load()) gServer.serverReady.SpinThenWait(kHandOverSpin);
}

// The drawing thread stays, waiting for requests; the next Init opens a window as the first did.
void Reset() {
  gServer.dropping = false;
  gServer.windowOutcome.store(0);
  gServer.firstActivation = false;
}

}  // namespace

const Transport kTransport = {kRevision1, BeginRequest, PostRequest, WaitIdle, Reset};

}  // namespace graphcore

namespace Graph {

using namespace graphcore;

void Init() {
  if (!rts::Starting(Dev().started)) return;
  if (!gServer.finaliserAdded) rts::AddFinaliser(Finalise);
  gServer.finaliserAdded = true;
  StartModule();
  gServer.created = false;
}

bool Init(int32_t x, int32_t y, uint32_t width, uint32_t depth) {
  if (gServer.created) {
    AlreadyCreated();
    return false;
  }
  if (!ReserveForInit(width, depth)) return false;
  gServer.created = true;
  Width = width;
  Depth = depth;
  Dev().winX = x;
  Dev().winY = y;
  if (gServer.windowThreadJoinable) {  // the previous window was closed by its close button
    pthread_join(gServer.windowThread, nullptr);
    gServer.windowThreadJoinable = false;
  }
  gServer.windowOutcome.store(0);
  gServer.windowEnded.Reset();
  if (StartThread(gServer.windowThread, WindowThread, false) != 0) {
    Fail("Graph server not run", "Graph");
    return false;
  }
  gServer.windowThreadJoinable = true;
  // The window thread reports whether it could open the window; without it the drawing thread
  // would never become ready.
  gServer.windowStarted.Wait();
  if (gServer.windowOutcome.load() != 1) return false;
  Request& r = BeginRequest(rqSetup);
  (void)r;
  PostRequest();
  InitCommonTail();
  return true;
}

void Exit() {
  if (!gServer.created) return;
  gServer.created = false;
  // Ends the window thread, which destroys its window; the drawing thread goes on. A thread
  // whose window or display was lost has ended already. One that hangs in a call to an X server
  // that stopped answering is left behind after a while, so the program can still end (a later
  // Init waits for it).
  PostMessage(platform::WM_QUIT);
  if (gServer.windowThreadJoinable && gServer.windowEnded.WaitFor(std::chrono::seconds{5})) {
    pthread_join(gServer.windowThread, nullptr);
    gServer.windowThreadJoinable = false;
  }
}

void SetLineStyle(uint32_t style) {
  LineStyle(style < 6 ? style : kPsSolid);
}

}  // namespace Graph
