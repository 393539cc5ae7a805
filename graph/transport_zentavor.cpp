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

// Revision 2's drawing rules: a line sets its end point, filled shapes get a solid outline in
// their colour, rectangle corners are both included; ClearScreen homes the text position.
const graphraster::Rules kRules = {
    .lineEndPoint = true, .filledOutline = true, .rectangleInclusive = true};
const bool kClearScreenHomesText = true;

namespace {

bool started;
bool gInitialised;
bool gClosed;
int32_t gWinX, gWinY;
uint32_t gLineStyleNo;

// The handshake. Each direction has its own auto-reset event, so a side that signals and then
// waits can never take its own signal back: every signal reaches the other side.
rts::Event gToService(rts::EventReset::kAuto);
rts::Event gToCaller(rts::EventReset::kAuto);

// Set by the service thread before it signals that it could not start video (no display); it
// then ends. Read by the main thread after the signal.
bool gNoVideo;
// Set by the service thread before it signals that it could not open a window because the display
// connection is lost, with the reason; it then waits for the next Init as after an Exit.
bool gNoWindow;
char gWhy[256];

// The window's loss against Exit's quit request, under gStateLock: when the window was lost the
// service thread does not wait for a quit request, so Exit must not post one and wait; when Exit
// asked first, the service thread answers it however its loop ended.
rts::Mutex gStateLock;
bool gWindowLost;
bool gQuitAsked;

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
  rts::BlockBreakSignals();
  if (!platform::WinVideoStart(gWhy, sizeof gWhy)) {
    gNoVideo = true;
    gToCaller.Set();
    return nullptr;
  }
  for (;;) {
    platform::WinHandle window = 0;
    gNoWindow = !platform::WinVideoStart(gWhy, sizeof gWhy);  // false once the display is lost
    if (!gNoWindow) {
      window = platform::WinCreate("Graph", gWinX, gWinY, Graph::Width, Graph::Depth,
                                   platform::WinStyle{false, false, WindowScale()});
      gNoWindow = window == 0 && !platform::WinVideoStart(gWhy, sizeof gWhy);
    }
    if (gNoWindow) {
      gToCaller.Set();
      gToService.Wait();
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
      rts::Hold hold(gStateLock);
      gWindowLost = false;
    }
    gWindow.store(window);
    gToCaller.Set();
    const LoopEnd end = MessageLoop(window, WindowProc);
    gWindow.store(0);
    WindowGone();
    if (end != LoopEnd::kDisplayLost) platform::WinDestroy(window);
    bool answer;
    {
      rts::Hold hold(gStateLock);
      const bool lost = end == LoopEnd::kWindowLost || end == LoopEnd::kDisplayLost;
      gWindowLost = lost;
      answer = gQuitAsked || !lost;
      gQuitAsked = false;
    }
    if (answer) gToCaller.Set();
    gToService.Wait();
  }
}

}  // namespace

Request& BeginRequest(uint8_t kind) {
  gRequest.kind = kind;
  return gRequest;
}

void PostRequest() {
  Execute(gRequest);
}

void WaitIdle() {}

}  // namespace graphcore

namespace Graph {

using namespace graphcore;

void Init() {
  if (!rts::Starting(started)) return;
  kvrIGraph::Init();
  StartModule();
  gLineStyleNo = 0;
  gInitialised = false;
  gClosed = false;
}

bool Init(int32_t x, int32_t y, uint32_t width, uint32_t depth) {
  if (gInitialised && gNoVideo) {
    Fail("Graph server not run", "Graph", gWhy);
    return false;
  }
  if (!ReserveForInit(width, depth)) return false;
  if (!gInitialised) {
    Width = width;
    Depth = depth;
    gWinX = x;
    gWinY = y;
    gInitialised = true;
    pthread_t thread;
    if (StartThread(thread, Service, true) != 0) {
      Fail("Graph server not run", "Graph");
      return false;
    }
    gToCaller.Wait();
  } else {
    Width = width;
    Depth = depth;
    gWinX = x;
    gWinY = y;
    if (!gClosed) Exit();
    gToService.Set();
    gToCaller.Wait();
  }
  if (gNoVideo || gNoWindow) {
    // Closed: the service thread waits for the next Init.
    gClosed = true;
    Fail("Graph server not run", "Graph", gWhy);
    return false;
  }
  kvrIGraph::fGrMode = true;
  gLineStyleNo = 0;
  InitCommonTail();
  gClosed = false;
  return true;
}

void Exit() {
  // Nothing to close before the first Init, after a failed one, or while closed: the service
  // thread then waits on the handshake and a quit request would end the next window's loop.
  if (!gInitialised || gClosed || gNoVideo) return;
  {
    // A lost window's service thread already waits for the next Init.
    rts::Hold hold(gStateLock);
    if (gWindowLost) {
      gClosed = true;
      return;
    }
    gQuitAsked = true;
  }
  PostMessage(platform::WM_QUIT);
  gToCaller.Wait();
  gClosed = true;
}

void SetLinestyle(uint32_t style) {
  gLineStyleNo = style;
  LineStyle(style < 6 ? kPenCodes[style] : kPsSolid);
}

}  // namespace Graph
