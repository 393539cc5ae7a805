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

struct Slot {
  bool used;
  uint32_t generation;
  int64_t offset, width, height;
};

Slot gSlots[kImages];
uint32_t* gPool;
int64_t gPoolSize;  // pixels gPool holds

// The image number of slot k: the generation above 7 bits, k + 1 below (never 0).
uint32_t Number(uint32_t k) {
  return (gSlots[k].generation << 7) | (k + 1);
}

Slot* Find(uint32_t image) {
  const uint32_t k = (image & 0x7F) - 1;
  if (k >= kImages || !gSlots[k].used || Number(k) != image) return nullptr;
  return &gSlots[k];
}

// The used slots in pool order.
uint32_t InOrder(Slot* (&out)[kImages]) {
  uint32_t n = 0;
  for (Slot& slot : gSlots) {
    if (slot.used) out[n++] = &slot;
  }
  std::sort(out, out + n, [](const Slot* a, const Slot* b) { return a->offset < b->offset; });
  return n;
}

// The first gap of `size` pixels, or -1.
int64_t FirstFit(int64_t size) {
  Slot* order[kImages];
  const uint32_t n = InOrder(order);
  int64_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (order[i]->offset - at >= size) return at;
    at = order[i]->offset + order[i]->width * order[i]->height;
  }
  return gPoolSize - at >= size ? at : -1;
}

// Grows the block so that `size` more pixels fit after `used` (images compacted), doubling it
// where possible, never beyond kPoolPixels. Answers false when the memory cannot be had.
bool Grow(int64_t used, int64_t size) {
  const int64_t need = used + size;
  if (need > kPoolPixels) return false;
  for (int64_t want : {std::min(std::max(need, 2 * gPoolSize), kPoolPixels), need}) {
    void* grown = std::realloc(gPool, static_cast<std::size_t>(want) * sizeof(uint32_t));
    if (grown) {
      gPool = static_cast<uint32_t*>(grown);
      gPoolSize = want;
      return true;
    }
  }
  return false;
}

// Moves the images to the front of the pool, in order, leaving one gap at the end; answers the
// pixels they take.
int64_t Compact() {
  Slot* order[kImages];
  const uint32_t n = InOrder(order);
  int64_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const int64_t size = order[i]->width * order[i]->height;
    std::memmove(gPool + at, gPool + order[i]->offset, static_cast<std::size_t>(size) * 4);
    order[i]->offset = at;
    at += size;
  }
  return at;
}

}  // namespace

uint32_t Capture(const graphraster::Surface& s, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int64_t left = std::min(x1, x2), top = std::min(y1, y2);
  const int64_t width = int64_t{std::max(x1, x2)} - left + 1;
  const int64_t height = int64_t{std::max(y1, y2)} - top + 1;
  if (width > kPoolPixels || height > kPoolPixels || width * height > kPoolPixels) return 0;
  uint32_t k = 0;
  while (k < kImages && gSlots[k].used) ++k;
  if (k == kImages) return 0;
  int64_t offset = FirstFit(width * height);
  if (offset < 0) {
    const int64_t used = Compact();
    offset = FirstFit(width * height);
    if (offset < 0 && !Grow(used, width * height)) return 0;
    if (offset < 0) offset = used;
  }
  graphraster::CopyOut(s, left, top, width, height, gPool + offset);
  Slot& slot = gSlots[k];
  slot.used = true;
  slot.generation = (slot.generation + 1) & 0x1FFFFFF;
  slot.offset = offset;
  slot.width = width;
  slot.height = height;
  return Number(k);
}

void Put(graphraster::Surface& s, int32_t x, int32_t y, uint32_t image, uint32_t rop) {
  const Slot* slot = Find(image);
  if (slot) graphraster::PutImage(s, x, y, gPool + slot->offset, slot->width, slot->height, rop);
}

void Free(uint32_t image) {
  Slot* slot = Find(image);
  if (!slot) return;
  slot->used = false;
  if (Count() == 0) {  // the last image: the block goes back
    std::free(gPool);
    gPool = nullptr;
    gPoolSize = 0;
  }
}

uint32_t Count() {
  uint32_t n = 0;
  for (const Slot& slot : gSlots) n += slot.used ? 1 : 0;
  return n;
}

}  // namespace graphimages
