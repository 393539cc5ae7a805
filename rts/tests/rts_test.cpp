// Run-time support: the trap report, errinfo.$$$, checked arrays and the normal end, each run in
// a child process so the exit code and both output channels can be read.
#include "rts/RTS.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "rts/Array.h"
#include "tests/support/child.h"

namespace {

using testchild::ChildResult;

// Runs `body` as the program "prog a1 a2" in `dir`, its report on `errorFd`.
ChildResult RunChild(const std::string& dir, int errorFd, const std::function<void()>& body) {
  return testchild::RunProgram(body, errorFd, dir);
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/rts_test_XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() {
    chmod(path_.c_str(), 0755);
    std::string cmd = "rm -rf '" + path_ + "'";
    (void)system(cmd.c_str());
  }
  const std::string& path() const { return path_; }
  std::string Read(const std::string& name) const {
    std::ifstream f(path_ + "/" + name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  bool Exists(const std::string& name) const {
    return access((path_ + "/" + name).c_str(), F_OK) == 0;
  }

 private:
  std::string path_;
};

TEST(Trap, ReportsTrapWithMessageAndWritesErrInfo) {
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] { rts::Trap(21); });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
            "File errinfo.$$$ created.\r\n");
  std::string info = dir.Read("errinfo.$$$");
  EXPECT_EQ(info.rfind("prog a1 a2\n#RTS: unhandled exception #21: USER BREAK\n", 0), 0u) << info;
  EXPECT_NE(info.find("Call history"), std::string::npos);
  EXPECT_NE(info.find("(main+"), std::string::npos) << "history lacks named frames: " << info;
}

TEST(Trap, MessagesOfTheTableTrapWithoutTextAndAssertion) {
  struct Case {
    std::function<void()> raise;
    std::string line;
  } cases[] = {
      {[] { rts::Trap(0); }, "#RTS: unhandled exception #0: invalid index"},
      {[] { rts::Trap(2); }, "#RTS: unhandled exception #2: invalid case in CASE statement"},
      {[] { rts::Trap(15); }, "#RTS: unhandled exception #15: TRAP(15)"},
      {[] { rts::Trap(23); }, "#RTS: unhandled exception #23: stack overflow"},
      {[] { rts::Trap(99); }, "#RTS: unhandled exception #99: TRAP(99)"},
      {[] { rts::AssertFail(7); }, "#RTS: unhandled exception #16: ASSERT(FALSE, 7)"},
      {[] { rts::Range(5, 1, 4); }, "#RTS: unhandled exception #1: expression out of bounds"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = RunChild(dir.path(), 1, c.raise);  // report on standard output this time
    EXPECT_EQ(r.exitCode, 9);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.line + "\r\n\r\nFile errinfo.$$$ created.\r\n");
  }
}

TEST(Trap, CannotCreateErrInfoInReadOnlyDirectory) {
  // A directory without write permission refuses the file; root writes anywhere, so for root a
  // working directory that was removed stands in for it.
  TempDir dir;
  const std::string where = dir.path() + "/work";
  mkdir(where.c_str(), 0755);
  const bool root = geteuid() == 0;
  if (!root) chmod(where.c_str(), 0555);
  ChildResult r = RunChild(where, 2, [&] {
    if (root) rmdir(where.c_str());
    rts::Trap(0);
  });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.err,
            "#RTS: unhandled exception #0: invalid index\r\n\r\n"
            "#RTS: Can't create file errinfo.$$$\r\n");
}

TEST(Trap, PlantedErrInfoIsNeverWrittenThrough) {
  // A symbolic link to a file, a dangling one, a second hard link to a file and a FIFO, each
  // named errinfo.$$$: the file behind stays as it was (the dangling link's target is not
  // created), the report says the file cannot be created, and the exit code is 9.
  const std::string kCant =
      "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
      "#RTS: Can't create file errinfo.$$$\r\n";
  enum Plant { kLinkToFile, kDanglingLink, kHardLink, kFifo };
  for (Plant plant : {kLinkToFile, kDanglingLink, kHardLink, kFifo}) {
    TempDir dir;
    const std::string victim = dir.path() + "/victim";
    const std::string name = dir.path() + "/errinfo.$$$";
    if (plant != kDanglingLink) {
      std::ofstream(victim) << "precious\n";
    }
    if (plant == kLinkToFile || plant == kDanglingLink) {
      ASSERT_EQ(symlink(victim.c_str(), name.c_str()), 0);
    } else if (plant == kHardLink) {
      ASSERT_EQ(link(victim.c_str(), name.c_str()), 0);
    } else {
      ASSERT_EQ(mkfifo(name.c_str(), 0644), 0);
    }
    ChildResult r = RunChild(dir.path(), 2, [] { rts::Trap(21); });
    EXPECT_EQ(r.exitCode, 9) << "plant " << plant;
    EXPECT_EQ(r.err, kCant) << "plant " << plant;
    if (plant == kDanglingLink) {
      EXPECT_FALSE(dir.Exists("victim")) << "the dangling link's target was created";
    } else if (plant != kFifo) {
      EXPECT_EQ(dir.Read("victim"), "precious\n") << "plant " << plant;
    }
  }
  // An ordinary file of that name is a file of our own: it is replaced by the new report.
  TempDir dir;
  std::ofstream(dir.path() + "/errinfo.$$$") << "an older and much longer report\n";
  ChildResult r = RunChild(dir.path(), 2, [] { rts::Trap(0); });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.err.substr(r.err.size() - 27), "File errinfo.$$$ created.\r\n");
  EXPECT_EQ(dir.Read("errinfo.$$$").rfind("prog a1 a2\n#RTS: unhandled exception #0:", 0), 0u);
}

TEST(Trap, ErrInfoNotWrittenWholeIsRemovedAndNotClaimed) {
  // A full file system fails write(2) with ENOSPC; a file size limit fails it the same way (with
  // EFBIG once SIGXFSZ is ignored) and needs no root and no mount, so it stands in here. With the
  // limit at 0 not a byte fits; with the limit inside the call history the head is written and
  // backtrace_symbols_fd fails silently, which the closing line after it catches.
  const std::string head =
      "prog a1 a2\n#RTS: unhandled exception #21: USER BREAK\n\n"
      "Call history (innermost first):\n";
  for (rlim_t limit : {rlim_t{0}, rlim_t{head.size() + 10}}) {
    TempDir dir;
    ChildResult r = RunChild(dir.path(), 2, [limit] {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit fsize = {limit, limit};
      if (setrlimit(RLIMIT_FSIZE, &fsize) != 0) _exit(102);
      rts::Trap(21);
    });
    EXPECT_EQ(r.exitCode, 9) << "limit " << limit;
    EXPECT_EQ(r.err,
              "#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
              "#RTS: Can't create file errinfo.$$$\r\n")
        << "limit " << limit;
    EXPECT_FALSE(dir.Exists("errinfo.$$$")) << "limit " << limit;
  }
  // Without a limit the same report is written whole, closing line included.
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] { rts::Trap(21); });
  EXPECT_EQ(r.err.substr(r.err.size() - 27), "File errinfo.$$$ created.\r\n");
  std::string info = dir.Read("errinfo.$$$");
  EXPECT_EQ(info.rfind(head, 0), 0u) << info;
  EXPECT_EQ(info.substr(info.size() - 22), "(end of call history)\n");
}

TEST(Text, LineEndsReachATerminalAsCrLfOnce) {
  // A pipe gets CR LF for LF. A terminal whose output processing adds the CR itself gets the LF
  // alone, so CR LF arrives once; with that processing off it gets CR LF as written.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  rts::WriteText(fds[1], "a\nb\n", 4);
  char buf[64];
  ssize_t n = read(fds[0], buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n > 0 ? n : 0)), "a\r\nb\r\n");
  close(fds[0]);
  close(fds[1]);

  for (tcflag_t oflag : {tcflag_t{OPOST | ONLCR}, tcflag_t{OPOST}, tcflag_t{0}}) {
    int master, slave;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    struct termios t;
    tcgetattr(slave, &t);
    t.c_oflag = oflag;
    tcsetattr(slave, TCSANOW, &t);
    rts::WriteText(slave, "a\nb\n", 4);
    std::string seen;
    while (seen.size() < 6) {
      n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      seen.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(seen, "a\r\nb\r\n") << "c_oflag " << oflag;
    close(master);
    close(slave);
  }
}

TEST(Signals, IgnoredAtStartStayIgnored) {
  // Started with the break signals, SIGHUP and SIGTERM ignored (a background job of a script,
  // nohup): none of them breaks or ends the program, and a crash is still caught.
  TempDir dir;
  ChildResult r = testchild::RunChild(
      [] {
        for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGSEGV}) signal(sig, SIG_IGN);
        static char a0[] = "prog";
        static char* argv[] = {a0, nullptr};
        rts::Start(1, argv, 2);
        for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) raise(sig);
        struct sigaction segv {};
        sigaction(SIGSEGV, nullptr, &segv);
        if (segv.sa_handler == SIG_IGN || segv.sa_handler == SIG_DFL) return 103;
        rts::End();
      },
      dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(dir.Exists("errinfo.$$$"));
}

TEST(Signals, ClosedOutputIsDroppedNotFatal) {
  // Standard output is a pipe nobody reads any more: writes fail and are dropped, the program
  // runs on to its normal end.
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] {
    int fds[2];
    if (pipe(fds) != 0) _exit(102);
    close(fds[0]);
    dup2(fds[1], 1);
    rts::WriteAll(1, "lost\n", 5);
    rts::WriteAll(1, "lost again\n", 11);
    (void)!write(2, "still running\n", 14);
    rts::End();
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "still running\n");
}

TEST(Array, OutOfRangeIndexTrapsAndChangesNothing) {
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] {
    static rts::Array<int, 1, 3> a{};  // zero-filled
    a[1] = 1;
    a[3] = 3;
    if (a[2] != 0) _exit(102);
    a[4] = 44;  // traps before the store
    _exit(103);
  });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.err.rfind("#RTS: unhandled exception #0: invalid index\r\n", 0), 0u);

  rts::Array<int, 1, 3> a{};
  rts::Array<int, 1, 3> b = a;
  b[2] = 5;
  EXPECT_EQ(a[2], 0) << "a value copy must not share storage";
  EXPECT_TRUE(std::is_trivially_copyable_v<decltype(a)>);
  EXPECT_DEATH({ (void)a[0]; }, "invalid index");
}

bool gStartedA, gStartedB;
int gStarts;
void InitB();
void InitA() {
  if (!rts::Starting(gStartedA)) return;
  InitB();  // imports B, which imports A back
  ++gStarts;
}
void InitB() {
  if (!rts::Starting(gStartedB)) return;
  InitA();
  ++gStarts;
}

TEST(End, FinalisersRunInReverseOrderThenExitZero) {
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] {
    InitA();
    InitA();
    if (gStarts != 2) _exit(104);
    rts::AddRestoreHook([] { (void)!write(1, "restore\n", 8); });
    rts::AddFinaliser([] { (void)!write(1, "first\n", 6); });
    rts::AddFinaliser([] { (void)!write(1, "second\n", 7); });
    rts::End();
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "second\nfirst\nrestore\n");
  EXPECT_FALSE(dir.Exists("errinfo.$$$"));
}

// Threads that add restore hooks at once each get a slot of their own: every hook runs once.
TEST(End, RestoreHooksAddedFromManyThreadsAllRun) {
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] {
    std::thread adders[8];
    for (auto& t : adders) {
      t = std::thread([] { rts::AddRestoreHook([] { (void)!write(1, "r", 1); }); });
    }
    for (auto& t : adders) t.join();
    rts::End();
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "rrrrrrrr");
}

TEST(Signals, BreakRaisesTrap21AndOtherSignalsRestoreAndReRaise) {
  TempDir dir;
  ChildResult r = RunChild(dir.path(), 2, [] {
    rts::AddRestoreHook([] { (void)!write(1, "restore\n", 8); });
    raise(SIGINT);
  });
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_EQ(r.out, "restore\n");
  EXPECT_EQ(r.err.rfind("#RTS: unhandled exception #21: USER BREAK\r\n", 0), 0u);

  r = RunChild(dir.path(), 2, [] {
    rts::AddRestoreHook([] { (void)!write(1, "restore\n", 8); });
    raise(SIGTERM);
  });
  EXPECT_EQ(r.exitCode, 1000 + SIGTERM);
  EXPECT_EQ(r.out, "restore\n");
  EXPECT_EQ(r.err, "");

  r = RunChild(dir.path(), 2, [] {
    rts::SetUserBreakHook([] { return true; });
    raise(SIGQUIT);
    rts::End();
  });
  EXPECT_EQ(r.exitCode, 0) << "a hook that handles the break leaves the program running";
}

}  // namespace

// A started thread runs with the break signals blocked (they are for the main thread) and can be
// joined when asked; a thread the system cannot give is an error answered, not an exception.
TEST(Threads, StartedWithBreaksBlockedJoinableOrRefused) {
  struct Seen {
    bool intBlocked = false, quitBlocked = false;
  } seen;
  pthread_t thread;
  ASSERT_EQ(rts::StartThread(
                [](void* arg) -> void* {
                  sigset_t mask;
                  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
                  auto* s = static_cast<Seen*>(arg);
                  s->intBlocked = sigismember(&mask, SIGINT) == 1;
                  s->quitBlocked = sigismember(&mask, SIGQUIT) == 1;
                  return nullptr;
                },
                &seen, 4096, &thread),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  EXPECT_TRUE(seen.intBlocked);
  EXPECT_TRUE(seen.quitBlocked);
  // The caller's own mask is as it was.
  sigset_t mine;
  pthread_sigmask(SIG_BLOCK, nullptr, &mine);
  EXPECT_EQ(sigismember(&mine, SIGINT), 0);

  // A stack larger than any address space: no thread, and the reason.
  const std::size_t huge = std::size_t{1} << 60;
  EXPECT_NE(rts::StartThread([](void*) -> void* { return nullptr; }, nullptr, huge), 0);
}
