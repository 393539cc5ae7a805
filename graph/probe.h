// Read-only views into the graphics library for tests and benchmarks of any module. Main thread
// (the thread that draws), after a successful Graph::Init unless noted.
#pragma once

#include <chrono>
#include <cstdint>

namespace graphprobe {

// Request kinds as counted by Requests.
inline constexpr unsigned kLine = 11;
inline constexpr unsigned kEllipse = 12;

// The back buffer's pixel (x, y) as 0x00RRGGBB; 0 outside the drawing area. Revision 1 first
// waits until the pending request has been carried out.
uint32_t Pixel(uint32_t x, uint32_t y);

// Number of back-buffer pixels whose value is `rgb` (0x00RRGGBB), counted under the buffer lock.
// Revision 1 first waits as Pixel does.
uint64_t CountPixels(uint32_t rgb);

// A checksum of all the back buffer's pixels: equal buffers give equal sums, and a difference
// changes it but for a chance of 2^-64. Revision 1 first waits as Pixel does.
uint64_t Checksum();

// Copies the back buffer (Width x Depth pixels 0x00RRGGBB, rows Width apart) to `out`. Revision 1
// first waits as Pixel does.
void CopyPixels(uint32_t* out);

// Number of requests of `kind` (0..22) executed so far; 0 for other kinds. Any thread.
uint64_t Requests(unsigned kind);

// Waits until every drawn pixel has been copied to the window and the window updated (at most
// `timeout`); answers whether that happened. Any thread but the window's own.
bool WaitPresented(std::chrono::milliseconds timeout);

// Number of presents so far that copied drawn pixels to the window (an expose included). Any
// thread.
uint64_t Presents();

// Returns the library to its start state: closes the window (Graph::Exit), forgets the drawing
// state, the palette, the counts above and Graph's public variables; the next Graph::Init()
// starts the module again and the next Graph::Init(x, y, w, d) opens a window as the first did.
// The library's threads stay, waiting as after an Exit. Main thread.
void Reset();

// Identifier of the open window in the window layer (0 when none). Any thread.
uint32_t WindowId();

}  // namespace graphprobe
