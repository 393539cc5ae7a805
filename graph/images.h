// Images captured from a surface and put back onto it: a pool of fixed slots and one growing block
// of pixels, kept by its owner (the graphics device's, used only by the thread that executes
// drawing requests).
#pragma once

#include <cstdint>

#include "graph/raster.h"

namespace graphimages {

// At most this many images at once, and this many pixels in all (the largest back buffer).
inline constexpr uint32_t kImages = 64;
inline constexpr int64_t kPoolPixels = int64_t{4096} * 4096;

struct Slot {
  bool used;
  uint32_t generation;
  int64_t offset, width, height;
};

// An image pool; zero-filled is empty.
struct Pool {
  Slot slots[kImages];
  uint32_t* pixels;  // the block, taken when an image needs room
  int64_t size;      // pixels the block holds
};

// Captures the box with corners (x1, y1) and (x2, y2) (put in order, both included; parts outside
// the surface read as black) and answers its image, never 0; answers 0 when the box is wider or
// higher than the pool can hold or the pool has no room left for it (kImages images, or
// kPoolPixels pixels in all, or no memory for more).
uint32_t Capture(Pool& pool, const graphraster::Surface& s, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2);

// Combines the image at its recorded size onto the surface with its top-left corner at (x, y)
// (graphraster::PutImage). An unknown or freed image draws nothing.
void Put(const Pool& pool, graphraster::Surface& s, int32_t x, int32_t y, uint32_t image,
         uint32_t rop);

// Frees the image; an unknown or freed image is left alone.
void Free(Pool& pool, uint32_t image);

// Frees every image (the block goes back).
void FreeAll(Pool& pool);

// Number of images held.
uint32_t Count(const Pool& pool);

}  // namespace graphimages
