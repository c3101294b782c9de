// The exported Register raises: the loader passes the error on unchanged.
#include "UnitTest.h"

#include <stdexcept>

class TNeverCreated : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

REGISTER_UNIT_TEST(TNeverCreated);

extern "C" KALVORO_EXPORT void Register() {
  throw std::runtime_error("Register refused");
}
