// A test that writes over its own module file while the run goes on, as a
// rebuild in place would: KALVORO_REWRITE=append adds bytes at the file's end
// (the code stays as it was, only the file's size and times change), =empty
// cuts the file to nothing (every page of the loaded library is gone: any
// access to it, a return into its code included, ends with SIGBUS), =zero
// writes zeros over it and keeps its size (its code is gone, which only the
// file's times tell).
#include "FaultTest.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
int Anchor = 0; // an address inside this library
} // namespace

class TRewrite : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    Dl_info Info{};
    // Without the variable it writes nothing: the module file is the build's.
    const char* Mode = std::getenv("KALVORO_REWRITE");
    if (Mode == nullptr)
      return;
    const bool Empty = std::strcmp(Mode, "empty") == 0;
    const bool Zero = std::strcmp(Mode, "zero") == 0;
    // The name the library was loaded under leads to its file.
    if (dladdr(&Anchor, &Info) == 0 || Info.dli_fname == nullptr)
      return;
    const int File = open(Info.dli_fname, O_WRONLY | O_CLOEXEC |
                                              (Empty  ? O_TRUNC
                                               : Zero ? 0
                                                      : O_APPEND));
    if (File < 0)
      return;
    struct stat Status {};
    if (Zero && fstat(File, &Status) == 0) {
      const std::vector<char> Zeros(static_cast<std::size_t>(Status.st_size));
      (void)pwrite(File, Zeros.data(), Zeros.size(), 0);
    } else if (!Empty) {
      (void)write(File, "appended", 8);
    }
    close(File);
  }
};

REGISTER_UNIT_TEST(TRewrite);

extern "C" KALVORO_EXPORT void Register() {}
