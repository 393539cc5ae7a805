// Test support: running a piece of engine code in a child process that is expected to trap, and
// memory shared with such a child so a test can see what the child left behind.
#pragma once

#include <cstddef>
#include <functional>
#include <new>
#include <string>

namespace enginetest {

struct ChildResult {
  int exitCode = -1;  // the exit code, or 1000 + signal number
  std::string err;    // everything the child wrote to standard error
};

// Runs `body` in a forked child with rts started, in a scratch directory (so the trap's
// errinfo.$$$ lands there), and returns its exit code and standard error. A body that returns
// ends the child with exit code 101. Calling thread; the caller must be single-threaded.
ChildResult RunChild(const std::function<void()>& body);

// A zero-filled block of `size` bytes shared with children forked later; lives until the test
// program ends.
void* MapShared(std::size_t size);

// A value-initialised T in shared memory (T must be trivially copyable).
template <class T>
T* Shared() {
  return new (MapShared(sizeof(T))) T{};
}

}  // namespace enginetest
