// The browser's window service state: one static, constant-initialised record, `gWeb`, shared by
// web_win_window.cpp (the window and the picture handed to the page) and web_win_events.cpp (the
// page's key and focus events). The page has one canvas, so there is one window at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Window.h"
#include "rts/Sync.h"

namespace platform::web {

// The window: its surface (what it holds), and the picture handed to the page's main thread,
// which draws it into the canvas at its next animation frame.
struct Window {
  WinHandle handle = 0;  // 0: no window
  int32_t width = 0;
  int32_t height = 0;
  int32_t scale = 1;
  uint32_t* surface = nullptr;  // width x height, 0x00RRGGBB; the window thread's alone
  // The hand-over to the page, under `lock`: `rgba` (width x height, the canvas's byte order)
  // holds the picture, [left, right) x [top, bottom) the part not yet drawn into the canvas.
  rts::Mutex lock;
  rts::Condition taken;  // the page drew the pending part
  uint8_t* rgba = nullptr;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool pending = false;
};

inline constexpr int kMessageCapacity = 256;

// Window messages from the page (keys, focus) and from the test hooks, for the window thread.
struct Messages {
  rts::Mutex lock;
  WinMessage ring[kMessageCapacity] = {};
  int head = 0;
  int count = 0;
};

struct WindowService {
  bool started = false;  // window thread only, as everything not under a lock below
  WinHandle lastHandle = 0;
  const char* failure = "";
  Window window;
  Messages messages;
  // The display's refresh period as the page measured it from its animation frames; 0 unknown.
  std::atomic<uint32_t> refreshUs{0};
  std::atomic<uint64_t> framesDrawn{0};  // pictures the page has drawn into the canvas
};
extern constinit WindowService gWeb;

// Queues a message for the window thread; false (dropped) when the queue is full. Any thread.
bool PostMessage(const WinMessage& message);

}  // namespace platform::web
