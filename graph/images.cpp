// The image pool: slots with a generation each, so a freed image's number never names a later
// image; pixels first-fit in one block, moved together when only the gaps would hold a new image.
// The block grows when the images need it, up to kPoolPixels: a program that keeps no images
// spends no memory (nor address space) on them.
#include "graph/images.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace graphimages {
namespace {

// The image number of slot k: the generation above 7 bits, k + 1 below (never 0).
uint32_t Number(const Pool& pool, uint32_t k) {
  return (pool.slots[k].generation << 7) | (k + 1);
}

const Slot* Find(const Pool& pool, uint32_t image) {
  const uint32_t k = (image & 0x7F) - 1;
  if (k >= kImages || !pool.slots[k].used || Number(pool, k) != image) return nullptr;
  return &pool.slots[k];
}

// The used slots in pool order.
uint32_t InOrder(Pool& pool, Slot* (&out)[kImages]) {
  uint32_t n = 0;
  for (Slot& slot : pool.slots) {
    if (slot.used) out[n++] = &slot;
  }
  std::sort(out, out + n, [](const Slot* a, const Slot* b) { return a->offset < b->offset; });
  return n;
}

// The first gap of `size` pixels, or -1.
int64_t FirstFit(Pool& pool, int64_t size) {
  Slot* order[kImages];
  const uint32_t n = InOrder(pool, order);
  int64_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (order[i]->offset - at >= size) return at;
    at = order[i]->offset + order[i]->width * order[i]->height;
  }
  return pool.size - at >= size ? at : -1;
}

// Grows the block so that `size` more pixels fit after `used` (images compacted), doubling it
// where possible, never beyond kPoolPixels. Answers false when the memory cannot be had.
bool Grow(Pool& pool, int64_t used, int64_t size) {
  const int64_t need = used + size;
  if (need > kPoolPixels) return false;
  for (int64_t want : {std::min(std::max(need, 2 * pool.size), kPoolPixels), need}) {
    void* grown = std::realloc(pool.pixels, static_cast<std::size_t>(want) * sizeof(uint32_t));
    if (grown) {
      pool.pixels = static_cast<uint32_t*>(grown);
      pool.size = want;
      return true;
    }
  }
  return false;
}

// Moves the images to the front of the pool, in order, leaving one gap at the end; answers the
// pixels they take.
int64_t Compact(Pool& pool) {
  Slot* order[kImages];
  const uint32_t n = InOrder(pool, order);
  int64_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const int64_t size = order[i]->width * order[i]->height;
    std::memmove(pool.pixels + at, pool.pixels + order[i]->offset,
                 static_cast<std::size_t>(size) * 4);
    order[i]->offset = at;
    at += size;
  }
  return at;
}

}  // namespace

uint32_t Capture(Pool& pool, const graphraster::Surface& s, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2) {
  const int64_t left = std::min(x1, x2), top = std::min(y1, y2);
  const int64_t width = int64_t{std::max(x1, x2)} - left + 1;
  const int64_t height = int64_t{std::max(y1, y2)} - top + 1;
  if (width > kPoolPixels || height > kPoolPixels || width * height > kPoolPixels) return 0;
  uint32_t k = 0;
  while (k < kImages && pool.slots[k].used) ++k;
  if (k == kImages) return 0;
  int64_t offset = FirstFit(pool, width * height);
  if (offset < 0) {
    const int64_t used = Compact(pool);
    offset = FirstFit(pool, width * height);
    if (offset < 0 && !Grow(pool, used, width * height)) return 0;
    if (offset < 0) offset = used;
  }
  graphraster::CopyOut(s, left, top, width, height, pool.pixels + offset);
  Slot& slot = pool.slots[k];
  slot.used = true;
  slot.generation = (slot.generation + 1) & 0x1FFFFFF;
  slot.offset = offset;
  slot.width = width;
  slot.height = height;
  return Number(pool, k);
}

void Put(const Pool& pool, graphraster::Surface& s, int32_t x, int32_t y, uint32_t image,
         uint32_t rop) {
  const Slot* slot = Find(pool, image);
  if (slot)
    graphraster::PutImage(s, x, y, pool.pixels + slot->offset, slot->width, slot->height, rop);
}

void Free(Pool& pool, uint32_t image) {
  if (!Find(pool, image)) return;
  pool.slots[(image & 0x7F) - 1].used = false;
  if (Count(pool) == 0) FreeAll(pool);  // the last image: the block goes back
}

void FreeAll(Pool& pool) {
  for (Slot& slot : pool.slots) slot.used = false;
  std::free(pool.pixels);
  pool.pixels = nullptr;
  pool.size = 0;
}

uint32_t Count(const Pool& pool) {
  uint32_t n = 0;
  for (const Slot& slot : pool.slots) n += slot.used ? 1 : 0;
  return n;
}

}  // namespace graphimages
