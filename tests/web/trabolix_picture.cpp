// Plays Trabolix on the desktop with a known seed and the keys of standard input, and writes the
// back buffer after the last key as a binary PPM: the picture the browser's page must show for
// the same keys and seed.
//
//   trabolix_picture SEED OUT.ppm < keys
//
// The game runs as the program does (its modules, its start-up, its loop) until its input ends;
// the loop then stands on a steady picture, the one every further pass would draw again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "graph/Graph.h"
#include "graph/probe.h"
#include "lib/Lib.h"
#include "rts/RTS.h"
#include "shooter/Trabolix.h"

namespace {

constexpr uint32_t kWidth = 1000;
constexpr uint32_t kDepth = 800;

// Static, as every buffer of the programs.
uint32_t gPixels[kWidth * kDepth];
unsigned char gRow[kWidth * 3];

bool WritePpm(const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  bool ok = std::fprintf(out, "P6\n%u %u\n255\n", kWidth, kDepth) > 0;
  for (uint32_t y = 0; ok && y < kDepth; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const uint32_t rgb = gPixels[y * kWidth + x];
      gRow[x * 3] = static_cast<unsigned char>(rgb >> 16);
      gRow[x * 3 + 1] = static_cast<unsigned char>(rgb >> 8);
      gRow[x * 3 + 2] = static_cast<unsigned char>(rgb);
    }
    ok = std::fwrite(gRow, 1, sizeof gRow, out) == sizeof gRow;
  }
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: trabolix_picture SEED OUT.ppm < keys\n");
    return 2;
  }
  const uint32_t seed = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  rts::Start(argc, argv, STDOUT_FILENO);
  Trabolix::Init();
  Lib::Seed(seed);  // in place of the clock's seed
  if (!Trabolix::StartUp()) return 1;
  Trabolix::Loop();
  if (Graph::Width != kWidth || Graph::Depth != kDepth) {
    std::fprintf(stderr, "trabolix_picture: the drawing area is not %u x %u\n", kWidth, kDepth);
    return 1;
  }
  graphprobe::CopyPixels(gPixels);
  if (!WritePpm(argv[2])) {
    std::perror(argv[2]);
    return 1;
  }
  rts::End();
}
