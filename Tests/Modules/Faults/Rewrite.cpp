// A test that writes over its own module file while the run goes on, as a
// rebuild in place would: KALVORO_REWRITE=append adds bytes at the file's end
// (the code stays as it was, only the file's size and times change), =empty
// cuts the file to nothing (every page of the loaded library is gone: any
// access to it, a return into its code included, ends with SIGBUS).
#include "FaultTest.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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
    // The name the library was loaded under leads to its file.
    if (dladdr(&Anchor, &Info) == 0 || Info.dli_fname == nullptr)
      return;
    const int File = open(Info.dli_fname, O_WRONLY | O_CLOEXEC | (Empty ? O_TRUNC : O_APPEND));
    if (File < 0)
      return;
    if (!Empty)
      (void)write(File, "appended", 8);
    close(File);
  }
};

REGISTER_UNIT_TEST(TRewrite);

extern "C" KALVORO_EXPORT void Register() {}
