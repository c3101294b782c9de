// A shared library that is no test module: it exports no Register.
#include "Export.h"

extern "C" KALVORO_EXPORT int NotATestModule() {
  return 0;
}
