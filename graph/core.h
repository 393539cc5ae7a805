// Internals shared by both revisions of the graphics library: the device record that holds their
// state, the contract a revision's transport fulfils (Transport), the back buffer and its damage,
// the request block and its execution (execute.cpp, drawing through raster.h), presenting and
// Flush (present.cpp), the window loop (core.cpp). Not for use outside graph/.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "graph/images.h"
#include "graph/raster.h"
#include "graph/revision.h"
#include "platform/Window.h"
#include "rts/Sync.h"

namespace graphcore {

// Largest drawing area the back buffer holds.
inline constexpr int32_t kMaxWidth = 4096;
inline constexpr int32_t kMaxDepth = 4096;

// Metrics of the window's fixed font: an 8 x 16 cell with a descent of 4.
inline constexpr uint32_t kCharHeight = 16;
inline constexpr uint32_t kCharDescent = 4;
inline constexpr uint32_t kCharWidth = 8;

// Request kinds.
enum Kind : uint8_t {
  rqNone = 0,
  rqGetImage = 1,
  rqLineStyle = 2,
  rqStdFill = 3,
  rqPalette = 4,
  rqClip = 5,
  rqNoClip = 6,
  rqBkColor = 7,
  rqBkMode = 8,
  rqPixel = 9,
  rqRectangle = 10,
  rqLine = 11,
  rqEllipse = 12,
  rqPolygon = 13,
  rqFloodFill = 14,
  rqArc = 15,
  rqPie = 16,
  rqCellText = 17,
  rqText = 18,
  rqInvert = 19,
  rqPutImage = 20,
  rqFreeImage = 21,
  rqSetup = 22,
};
inline constexpr unsigned kKinds = 23;

// The request block: a kind and its argument words a0, a1, ...; the point list (kind 13) runs
// from a3 for up to 100 points, the text (kinds 17, 18) from a7 or a3 for up to 257 characters.
inline constexpr uint32_t kMaxPoints = 100;
inline constexpr uint32_t kMaxText = 257;
inline constexpr std::size_t kWords = 3 + 2 * kMaxPoints;
struct Request {
  uint8_t kind;
  uint32_t a[kWords];
};

// Pen style codes.
using graphraster::kPsDash;
using graphraster::kPsDashDot;
using graphraster::kPsDashDotDot;
using graphraster::kPsDot;
using graphraster::kPsNull;
using graphraster::kPsSolid;

// Palette table size and the largest load.
inline constexpr uint32_t kPaletteEntries = 1025;
inline constexpr uint32_t kMaxPaletteLoad = 1024;

// The contract between the shared code and a revision's transport (transport_zentavor.cpp,
// transport_trabolix.cpp): its rules and how a request block reaches the thread that executes it.
// The shared code reaches the revision only through kTransport.
struct Transport {
  Revision revision;
  // Takes the request block for filling (revision 1 waits until its drawing thread is ready).
  Request& (*beginRequest)(uint8_t kind);
  // Hands the filled block on (revision 2 executes it at once).
  void (*postRequest)();
  // Waits until no request is pending.
  void (*waitIdle)();
  // Returns the revision's own state to its start for tests: after Graph::Exit, no request
  // pending. Threads that live for the process stay, waiting as after an Exit.
  void (*reset)();
};

// The linked revision's transport.
extern const Transport kTransport;

// The drawing state kept by the main thread (the caller of Graph's operations).
struct Pen {
  uint32_t deviceColours;  // colours the display shows (all of a cardinal's range: 32 bits)
  bool stdFillMode;
  uint32_t stdFillMask;
  uint8_t fillMask[8];
  uint32_t bkColor;
  bool cursorOn;
  bool cursorShown;
  uint32_t textCol, textRow;
  uint32_t winLeft, winTop, winRight, winBottom;
  uint32_t charHeight, charDescent, charWidth;
  uint32_t scale;  // screen pixels per drawing-area pixel on each axis; 0 stands for 1
};

// The graphics device: everything the library keeps, in one static record, zero-filled at start.
// ResetDevice (for tests) returns the part from `request` on to zero; the locks, events, counters
// and memory above it live as long as the process, because threads that outlive a window use them.
struct Device {
  // The back buffer's lock (the thread that executes requests holds it for each drawing request;
  // the presenter, setup and inspection take it too) and the window lock.
  rts::Mutex bufferLock;
  rts::Mutex windowLock;

  // The back buffer's pixels (guarded by bufferLock, through `buffer`): taken by Init for the
  // drawing area it is asked for and kept; a later, larger Init takes a larger block. A fixed
  // array for the largest area (64 MB) would cost that much address space in every run.
  uint32_t* pixels{};
  std::size_t capacity{};  // pixels `pixels` holds

  // FloodFill's work space (the executing thread's).
  graphraster::FillScratch fillScratch{};

  // The images of GetImage (the executing thread's; a reset frees them).
  graphimages::Pool images{};

  // The window being served (0 none); set by the window thread. Any thread may read it.
  std::atomic<platform::WinHandle> window{};

  // Counts of executed requests per kind, and of presents that copied pixels to the window.
  std::atomic<uint64_t> executed[kKinds]{};
  std::atomic<uint64_t> presents{};

  // The window thread's posted messages: the queue under postLock, and the loop's wake-up.
  rts::Mutex postLock;
  rts::Event wake{rts::EventReset::kAuto};

  // Presenting: a copy is in progress; the refresh period of the served window (zero before the
  // first loop); the last window's loop ended because the window or the display was lost. Flush
  // waiters wait on shownChanged under shownLock.
  std::atomic<bool> presenting{};
  std::atomic<std::chrono::microseconds> period{};
  std::atomic<bool> lost{};
  rts::Mutex shownLock;
  rts::Condition shownChanged;

  // From here on: returned to zero by ResetDevice.

  // The single request block (filled by the main thread; revision 1's drawing thread reads it).
  Request request{};

  // The palette table (main thread writes; the executing thread reads after rqPalette).
  uint32_t paletteTable[kPaletteEntries]{};
  uint32_t paletteCount{};

  // The back buffer as a surface with the executing thread's drawing state. Its pixels, size and
  // damage are guarded by bufferLock; the drawing state belongs to the executing thread.
  graphraster::Surface buffer{};

  // Posted messages (guarded by postLock).
  uint32_t posted[8]{};
  int postedCount{};

  // Presents that have copied pixels (guarded by bufferLock), and those whose window update is
  // done (guarded by shownLock): a Flush waits for the copy that takes what was drawn before it.
  uint64_t copies{};
  uint64_t shown{};

  // The main thread's drawing state.
  Pen pen{};

  // Console control-key flags tracked by revision 2's key forwarding; the window thread's.
  uint32_t modifierState{};

  // The module was started (Graph::Init()), and the window's position asked by Init.
  bool started{};
  int32_t winX{}, winY{};
};

// The one device.
extern constinit Device gDevice;
inline Device& Dev() {
  return gDevice;
}

// For tests: closes the window (Graph::Exit), waits until no request is pending and returns the
// device, the revision's state and Graph's public variables to their start; the next
// Graph::Init() starts the module again. The back buffer's memory is kept for the next Init.
void ResetDevice();

// Executes the block's request against the back buffer (kinds 5 and above under the buffer lock,
// marking what they change as damaged for the window); rqGetImage answers its image in a4. The
// executing thread: the main thread in revision 2, the drawing thread in revision 1.
void Execute(Request& r);

// Makes room for a back buffer of width x depth pixels, once, before the window is made: a block
// of that size is taken unless the one held is large enough (the picture in it is lost). Answers
// false when the memory cannot be had (then nothing changed); a size beyond the maximum is left
// for SetupBackBuffer to refuse. Main thread, in Init.
bool ReserveBackBuffer(uint32_t width, uint32_t depth);

// Gives the back buffer the size width x depth, black, the whole area damaged. Answers false when
// the size exceeds the maximum or the room ReserveBackBuffer made. Takes the buffer lock. The
// thread that creates the surfaces.
bool SetupBackBuffer(uint32_t width, uint32_t depth);

// The executing thread's drawing state back to the module-start defaults.
void ResetSurfaceState();

// Selects the user fill pattern (set bits paint in the fill colour) for the next fills. Only
// while no request is pending.
void SetUserPattern(const uint8_t (&mask)[8]);

// Back-buffer pixel (x, y) under the buffer lock; 0 outside.
uint32_t BufferPixel(uint32_t x, uint32_t y);

// Number of back-buffer pixels equal to `rgb`, under the buffer lock.
uint64_t CountBufferPixels(uint32_t rgb);

// A checksum of the back buffer's pixels (Width x Depth), under the buffer lock.
uint64_t BufferChecksum();

// How the window loop hands control to a window procedure: it answers false to end the loop.
using WindowProc = bool (*)(platform::WinHandle window, const platform::WinMessage& m);

// Puts a message into the window thread's own queue (the window system's PostThreadMessage /
// PostMessage) and wakes the loop. Any thread.
void PostMessage(uint32_t message);

// Empties that queue (a new window's loop starts without stale messages). Window thread.
void ClearPostedMessages();

// How a window's message loop ended.
enum class LoopEnd : uint8_t {
  kQuit,         // WM_QUIT was taken from the posted queue
  kClosed,       // the window procedure answered false
  kWindowLost,   // the window was destroyed by another client (or an X error named it)
  kDisplayLost,  // the display connection broke: no more SDL video calls
};

// Runs the message loop of `window` on its thread: dispatches window-system and posted messages
// to `proc`, and copies damaged back-buffer areas to the window at most once per display refresh
// (under the window lock, then the buffer lock), until WM_QUIT is taken from the posted queue,
// `proc` answers false, or the window or the display is lost. A loss is told in one line on
// standard error ("Graph: window lost", "Graph: display connection lost"), and so is the first X
// error that named none of our windows. The caller then clears the device's window and calls
// WindowGone.
LoopEnd MessageLoop(platform::WinHandle window, WindowProc proc);

// Copies the damaged back-buffer area (or, with `all`, everything) to the window and shows it:
// under the window lock, then the buffer lock; the window update runs after the buffer lock is
// released. Window thread (present.cpp).
void Present(platform::WinHandle window, bool all);

// Copies the whole back buffer to the window now (expose). Window thread.
void PaintAll(platform::WinHandle window);

// A window's loop starts presenting at `period` (its refresh period). Window thread.
void StartPresenting(std::chrono::microseconds period);

// The window or the display was lost: Flush now paces its callers by sleeping. Window thread.
void PresentingLost();

// Waits until everything drawn so far is on the window (copied and the window updated), at most
// about three refresh periods; at once when no window is open. After a lost window or display it
// waits one refresh period instead, so a program paced by Flush keeps its pace without a window.
// The drawing thread of the caller (revision 1: after the pending request has been carried out).
// Main thread.
void Flush();

// Wakes Flush waiters after the window went away (the device's window is 0). Window thread.
void WindowGone();

// The served window's display refresh period (platform::kDefaultRefreshPeriod, 60 Hz, before a
// window has been served). Any thread.
std::chrono::microseconds RefreshPeriod();

// The window's screen scale set by Graph::SetScale: 1 to 4.
uint32_t WindowScale();

// Answers whether drawn pixels wait to be copied to the window or are being shown (for
// graphprobe::WaitPresented). Any thread.
bool DamagePending();

// For tests: copies the back buffer (Width x Depth pixels, rows Width apart) to `out` once no
// request is pending. Main thread.
void ReadBuffer(uint32_t* out);

// Module start of the shared drawing state (both revisions). Main thread.
void StartModule();

// Issues rqLineStyle with a pen style code. Main thread.
void LineStyle(uint32_t penCode);

// The common tail of a successful Init: palette, line style, background, clearing, text metrics
// and text window. Main thread.
void InitCommonTail();

// Shows a failure message (box or standard error, see platform::WinMessageBox); with `detail`
// (when given and not empty) after it in parentheses, the line also goes to standard error
// before the box.
void Fail(const char* text, const char* caption, const char* detail = nullptr);

// Starts a thread of the library running `body`, with break signals blocked and a stack of 1 MB
// (a default stack would reserve 8 MB of address space for threads that need little), detached
// unless `thread` is to be joined. Answers pthread_create's result.
int StartThread(pthread_t& thread, void* (*body)(void*), bool detached);

// ReserveBackBuffer for Init; when the memory cannot be had, says so on standard error ("Graph
// server not run", with the size) and answers false. Main thread.
bool ReserveForInit(uint32_t width, uint32_t depth);

}  // namespace graphcore
