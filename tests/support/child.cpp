// Test support: forked children and shared memory.
#include "tests/support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "rts/RTS.h"

namespace testchild {

ChildResult RunChild(const std::function<int()>& body, const std::string& dir) {
  char scratch[] = "/tmp/zt_child_XXXXXX";
  const bool own = dir.empty();
  if (own && mkdtemp(scratch) == nullptr) std::abort();
  const std::string where = own ? scratch : dir;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) std::abort();
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    if (chdir(where.c_str()) != 0) _exit(100);
    _exit(body());
  }
  close(out[1]);
  close(err[1]);
  ChildResult r;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0 && poll(fds, 2, -1) > 0) {
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        into[k]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  if (own) {
    const std::string info = where + "/errinfo.$$$";
    unlink(info.c_str());
    rmdir(where.c_str());
  }
  return r;
}

ChildResult RunProgram(const std::function<void()>& body, int errorFd, const std::string& dir) {
  return RunChild(
      [&] {
        static char a0[] = "prog", a1[] = "a1", a2[] = "a2";
        static char* argv[] = {a0, a1, a2, nullptr};
        rts::Start(3, argv, errorFd);
        body();
        return 101;
      },
      dir);
}

void* MapShared(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) std::abort();
  return p;
}

}  // namespace testchild
