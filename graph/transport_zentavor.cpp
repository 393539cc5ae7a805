// Revision 2 of the graphics library (Zentavor): drawing requests execute at once on the caller's
// thread; a service thread, created once, owns the window, forwards its keys to the console input
// and shows the back buffer. Init, Exit and the service thread pass control back and forth
// through the handshake.
#include <pthread.h>

#include "graph/Graph.h"
#include "graph/core.h"
#include "graph/forward.h"
#include "graph/kvrIGraph.h"
#include "rts/RTS.h"

namespace graphcore {

namespace {

// Revision 2's own state, beside the device record.
struct Service {
  // The service thread was started by the first Init; it serves every later window. Kept by a
  // reset, as is the thread.
  bool threadStarted;
  bool closed;
  uint32_t lineStyleNo;

  // The handshake. Each direction has its own auto-reset event, so a side that signals and then
  // waits can never take its own signal back: every signal reaches the other side.
  rts::Event toService{rts::EventReset::kAuto};
  rts::Event toCaller{rts::EventReset::kAuto};

  // Set by the service thread before it signals that it could not start video (no display); it
  // then ends. Read by the main thread after the signal.
  bool noVideo;
  // Set by the service thread before it signals that it could not open a window because the
  // display connection is lost, with the reason; it then waits for the next Init as after an Exit.
  bool noWindow;
  char why[256];

  // The window's loss against Exit's quit request, under stateLock: when the window was lost the
  // service thread does not wait for a quit request, so Exit must not post one and wait; when Exit
  // asked first, the service thread answers it however its loop ended.
  rts::Mutex stateLock;
  bool windowLost;
  bool quitAsked;
};
constinit Service gService{};

constexpr uint32_t kPenCodes[6] = {kPsSolid, kPsDot, kPsDash, kPsDashDot, kPsDashDotDot, kPsNull};

bool WindowProc(platform::WinHandle window, const platform::WinMessage& m) {
  if (kvrIGraph::proc) kvrIGraph::proc(window, m.message, m.wParam, m.lParam);
  switch (m.message) {
    case platform::WM_ACTIVATE:
      ResetKeyState();
      break;
    case platform::WM_PAINT:
      PaintAll(window);
      break;
    case platform::WM_CLOSE:
      break;  // the user cannot close the window
    default:
      ForwardKey(m);
      break;
  }
  return true;
}

void* Service(void*) {
  Device& d = Dev();
  rts::BlockBreakSignals();
  if (!platform::WinVideoStart(gService.why, sizeof gService.why)) {
    gService.noVideo = true;
    gService.toCaller.Set();
    return nullptr;
  }
  for (;;) {
    platform::WinHandle window = 0;
    // Video cannot start again once the display is lost.
    gService.noWindow = !platform::WinVideoStart(gService.why, sizeof gService.why);
    if (!gService.noWindow) {
      window = platform::WinCreate("Graph", d.winX, d.winY, Graph::Width, Graph::Depth,
                                   platform::WinStyle{false, false, WindowScale()});
      gService.noWindow =
          window == 0 && !platform::WinVideoStart(gService.why, sizeof gService.why);
    }
    if (gService.noWindow) {
      gService.toCaller.Set();
      gService.toService.Wait();
      continue;
    }
    if (window == 0 || !SetupBackBuffer(Graph::Width, Graph::Depth)) {
      Fail("Couldn't create main window", nullptr,
           window == 0 ? platform::WinCreateFailure() : "larger than 4096 x 4096 pixels");
      rts::Halt(9);
    }
    ClearPostedMessages();
    ResetKeyState();
    {
      rts::Hold hold(gService.stateLock);
      gService.windowLost = false;
    }
    d.window.store(window);
    gService.toCaller.Set();
    const LoopEnd end = MessageLoop(window, WindowProc);
    d.window.store(0);
    WindowGone();
    if (end != LoopEnd::kDisplayLost) platform::WinDestroy(window);
    bool answer;
    {
      rts::Hold hold(gService.stateLock);
      const bool lost = end == LoopEnd::kWindowLost || end == LoopEnd::kDisplayLost;
      gService.windowLost = lost;
      answer = gService.quitAsked || !lost;
      gService.quitAsked = false;
    }
    if (answer) gService.toCaller.Set();
    gService.toService.Wait();
  }
}

Request& BeginRequest(uint8_t kind) {
  Dev().request.kind = kind;
  return Dev().request;
}

void PostRequest() {
  Execute(Dev().request);
}

void WaitIdle() {}

// The service thread stays, waiting for the next Init as after an Exit.
void Reset() {
  gService.closed = true;
  gService.lineStyleNo = 0;
  kvrIGraph::fGrMode = false;
  kvrIGraph::proc = nullptr;
}

}  // namespace

const Transport kTransport = {kRevision2, BeginRequest, PostRequest, WaitIdle, Reset};

}  // namespace graphcore

namespace Graph {

using namespace graphcore;

void Init() {
  if (!rts::Starting(Dev().started)) return;
  kvrIGraph::Init();
  StartModule();
  gService.lineStyleNo = 0;
}

bool Init(int32_t x, int32_t y, uint32_t width, uint32_t depth) {
  Device& d = Dev();
  if (gService.threadStarted && gService.noVideo) {
    Fail("Graph server not run", "Graph", gService.why);
    return false;
  }
  if (!ReserveForInit(width, depth)) return false;
  if (!gService.threadStarted) {
    Width = width;
    Depth = depth;
    d.winX = x;
    d.winY = y;
    gService.threadStarted = true;
    pthread_t thread;
    if (StartThread(thread, Service, true) != 0) {
      Fail("Graph server not run", "Graph");
      return false;
    }
    gService.toCaller.Wait();
  } else {
    Width = width;
    Depth = depth;
    d.winX = x;
    d.winY = y;
    if (!gService.closed) Exit();
    gService.toService.Set();
    gService.toCaller.Wait();
  }
  if (gService.noVideo || gService.noWindow) {
    // Closed: the service thread waits for the next Init.
    gService.closed = true;
    Fail("Graph server not run", "Graph", gService.why);
    return false;
  }
  kvrIGraph::fGrMode = true;
  gService.lineStyleNo = 0;
  InitCommonTail();
  gService.closed = false;
  return true;
}

void Exit() {
  // Nothing to close before the first Init, after a failed one, or while closed: the service
  // thread then waits on the handshake and a quit request would end the next window's loop.
  if (!gService.threadStarted || gService.closed || gService.noVideo) return;
  {
    // A lost window's service thread already waits for the next Init.
    rts::Hold hold(gService.stateLock);
    if (gService.windowLost) {
      gService.closed = true;
      return;
    }
    gService.quitAsked = true;
  }
  PostMessage(platform::WM_QUIT);
  gService.toCaller.Wait();
  gService.closed = true;
}

void SetLinestyle(uint32_t style) {
  gService.lineStyleNo = style;
  LineStyle(style < 6 ? kPenCodes[style] : kPsSolid);
}

}  // namespace Graph
