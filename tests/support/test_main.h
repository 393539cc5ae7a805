// The tests' main: ends the process as the programs do (restore hooks, then _exit), so the
// terminal is put back (kvrIGraph opens the console host on standard input) and the window thread
// still running at the end never meets static destructors.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "rts/RTS.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  const int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
  rts::RunRestoreHooks();
  _exit(result);
}
