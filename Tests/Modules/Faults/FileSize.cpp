// A small file-size limit, then a write past it: SIGXFSZ, whose default
// action ends the process.
#include "FaultTest.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

class TFileSize : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    const rlimit Limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &Limit);
    std::FILE* File = std::tmpfile();
    if (File == nullptr)
      return;
    static const char Block[4096] = {};
    for (int Round = 0; Round < 4; ++Round)
      if (write(fileno(File), Block, sizeof Block) < 0)
        break;
  }
};

REGISTER_UNIT_TEST(TFileSize);

extern "C" KALVORO_EXPORT void Register() {}
