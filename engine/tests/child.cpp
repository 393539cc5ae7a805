// Test support: trapping children and shared memory.
#include "engine/tests/child.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "rts/RTS.h"

namespace enginetest {

ChildResult RunChild(const std::function<void()>& body) {
  char dir[] = "/tmp/engine_test_XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  int err[2];
  if (pipe(err) != 0) std::abort();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(err[0]);
    close(err[1]);
    if (chdir(dir) != 0) _exit(100);
    static char name[] = "engine_test";
    static char* argv[] = {name, nullptr};
    rts::Start(1, argv, 2);
    body();
    _exit(101);
  }
  close(err[1]);
  ChildResult r;
  char buf[4096];
  ssize_t n;
  while ((n = read(err[0], buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  std::string info = std::string(dir) + "/errinfo.$$$";
  unlink(info.c_str());
  rmdir(dir);
  return r;
}

void* MapShared(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) std::abort();
  return p;
}

}  // namespace enginetest
