// Test support: running a piece of code in a forked child process (for traps, exits and output
// that must be seen from outside), and memory shared with such children.
#pragma once

#include <cstddef>
#include <functional>
#include <new>
#include <string>

namespace testchild {

struct ChildResult {
  int exitCode = -1;  // the exit code, or 1000 + the signal number that ended the child
  std::string out;    // everything the child wrote to standard output
  std::string err;    // everything the child wrote to standard error
};

// Runs `body` in a forked child with standard input from /dev/null, standard output and error
// captured, in the working directory `dir` (a fresh scratch directory, removed afterwards, when
// `dir` is empty). The child ends with the value `body` returns. Calling thread; the caller must
// be single-threaded.
ChildResult RunChild(const std::function<int()>& body, const std::string& dir = "");

// Runs `body` in a child as a program would run: rts started with the command line
// "prog a1 a2" and its report on `errorFd`. The child ends with exit code 101 when `body`
// returns; a trap ends it with 9.
ChildResult RunProgram(const std::function<void()>& body, int errorFd = 2,
                       const std::string& dir = "");

// A zero-filled block of `size` bytes shared with children forked later; lives until the test
// program ends.
void* MapShared(std::size_t size);

// A value-initialised T in shared memory (T must be trivially copyable).
template <class T>
T* Shared() {
  return new (MapShared(sizeof(T))) T{};
}

}  // namespace testchild
