// Child processes as the run hosts are started: how a death
// is worded, which descriptors the child has, deadlines, and that ending a
// child ends what it started.
#include "ChildProcess.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace Kalvoro;

namespace {

TChildOptions Shell(const std::string& aScript) {
  TChildOptions Options;
  Options.Program = "/bin/sh";
  Options.Arguments = {"-c", aScript};
  return Options;
}

// What the child wrote on the pipe's other end, to its end.
std::string ReadAll(int aDescriptor) {
  std::string Text;
  char Buffer[512];
  for (ssize_t Count; (Count = read(aDescriptor, Buffer, sizeof Buffer)) > 0;)
    Text.append(Buffer, static_cast<std::size_t>(Count));
  return Text;
}

struct TPipe {
  int Read = -1;
  int Write = -1;
  TPipe() {
    int Ends[2];
    if (pipe2(Ends, O_CLOEXEC) == 0) {
      Read = Ends[0];
      Write = Ends[1];
    }
  }
  void CloseWrite() {
    close(Write);
    Write = -1;
  }
  ~TPipe() {
    close(Read);
    if (Write >= 0)
      close(Write);
  }
};

} // namespace

TEST(ChildProcess, DeathIsWordedByStatusOrSignal) {
  const struct {
    const char* Script;
    const char* Text;
  } Cases[] = {
      {"exit 0", "Test process exited with status 0"},
      {"exit 3", "Test process exited with status 3"},
      {"kill -SEGV $$", "Test process ended by SIGSEGV"},
      {"kill -ABRT $$", "Test process ended by SIGABRT"},
      {"kill -KILL $$", "Test process ended by SIGKILL"},
  };
  for (const auto& Case : Cases) {
    TChildProcess Child(Shell(Case.Script));
    ASSERT_TRUE(Child.WaitFor(10)) << Case.Script;
    EXPECT_TRUE(Child.Ended());
    EXPECT_EQ(Child.DeathText(), Case.Text) << Case.Script;
  }
  EXPECT_EQ(SignalName(SIGTERM), "SIGTERM");
  EXPECT_EQ(SignalName(SIGRTMIN + 1), "signal " + std::to_string(SIGRTMIN + 1));
}

// The child sees exactly the descriptors it is given, under the numbers it
// is given; everything else of the parent is closed in it, standard input
// reads /dev/null, standard output can be sent there, and the environment
// given is added to the parent's.
TEST(ChildProcess, ChildHasTheDescriptorsItIsGivenOnly) {
  TPipe Report;
  TPipe Unrelated;
  // Without close-on-exec, as a careless caller's descriptor would be.
  const int Leaked = dup(Unrelated.Write);
  ASSERT_GE(Leaked, 0);
  TChildOptions Options =
      Shell("ls /proc/self/fd >&7; read x; echo \"read:$x\" >&7; echo \"$ADDED\" >&7; echo out");
  Options.Descriptors = {{Report.Write, 7}};
  Options.NullOutput = true;
  Options.Environment = {"ADDED=given"};
  {
    TChildProcess Child(Options);
    Report.CloseWrite();
    const std::string Text = ReadAll(Report.Read);
    ASSERT_TRUE(Child.WaitFor(10));
    EXPECT_EQ(Child.DeathText(), "Test process exited with status 0");
    // ls opens one descriptor of its own for the listing (3).
    EXPECT_EQ(Text, "0\n1\n2\n3\n7\nread:\ngiven\n");
  }
  close(Leaked);

  // Two descriptors swapping numbers both arrive where they are meant to
  // (numbers past 9, which only bash writes to).
  TPipe First;
  TPipe Second;
  TChildOptions Swap = Shell("echo one >&" + std::to_string(Second.Write) + "; echo two >&" +
                             std::to_string(First.Write));
  Swap.Program = "/bin/bash";
  Swap.Descriptors = {{First.Write, Second.Write}, {Second.Write, First.Write}};
  TChildProcess Child(Swap);
  First.CloseWrite();
  Second.CloseWrite();
  EXPECT_EQ(ReadAll(First.Read), "one\n");
  EXPECT_EQ(ReadAll(Second.Read), "two\n");
}

// A deadline that passes leaves the child running; killing it ends its whole
// process group, so a grandchild holding the pipe open ends too.
TEST(ChildProcess, KillEndsTheGroupAfterADeadline) {
  TPipe Pipe;
  TChildOptions Options = Shell("sleep 60 & sleep 60");
  Options.Descriptors = {{Pipe.Write, 1}};
  TChildProcess Child(Options);
  Pipe.CloseWrite();
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Child.WaitFor(0.2));
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(190));
  EXPECT_FALSE(Child.Reap());
  EXPECT_GE(Child.EndedDescriptor(), 0);
  Child.Kill();
  EXPECT_EQ(Child.DeathText(), "Test process ended by SIGKILL");
  // Reads the end of the pipe only once the grandchild is gone too.
  EXPECT_EQ(ReadAll(Pipe.Read), "");
}

TEST(ChildProcess, MissingProgramCannotStart) {
  TChildOptions Options;
  Options.Program = "/nonexistent/program";
  try {
    TChildProcess Child(Options);
    FAIL() << "started";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()),
              "Cannot start /nonexistent/program: No such file or directory");
  }
}

// A child's parent-death signal fires when the thread that started it ends,
// not the process: a child (a run host, say) started at the request of a
// thread that ends meanwhile, as Morvane's workers do, must live on.
TEST(ChildProcess, OutlivesTheThreadThatAskedForIt) {
  TPipe Input;
  TPipe Output;
  TChildOptions Options;
  Options.Program = "/usr/bin/setpriv";
  Options.Arguments = {"--pdeathsig", "KILL", "/bin/sh", "-c", "echo ready; read Line; echo alive"};
  Options.Descriptors = {{Input.Read, STDIN_FILENO}, {Output.Write, STDOUT_FILENO}};
  Options.NullInput = false;
  std::unique_ptr<TChildProcess> Child;
  pid_t Asker = 0;
  std::thread Thread([&] {
    Asker = gettid();
    Child = std::make_unique<TChildProcess>(Options);
    // Once it speaks its parent-death signal is set.
    char Byte = 0;
    while (read(Output.Read, &Byte, 1) == 1 && Byte != '\n') {
    }
  });
  Thread.join();
  ASSERT_TRUE(Child);
  Output.CloseWrite();
  // Once the thread is gone, a signal that its end sent has been sent.
  const std::string Task = "/proc/self/task/" + std::to_string(Asker);
  while (access(Task.c_str(), F_OK) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(write(Input.Write, "go\n", 3), 3);
  EXPECT_EQ(ReadAll(Output.Read), "alive\n");
  EXPECT_TRUE(Child->WaitFor(-1));
  EXPECT_EQ(Child->DeathText(), "Test process exited with status 0");
}
