// Where a module's unit-test classes live. TEmpty is deliberately not
// registered: to make it a unit test of the module, add
//
//   REGISTER_UNIT_TEST(TEmpty);
//
// here (module start-up) or inside Register() in UnitTestsReg.cpp.
#include "UnitTests.h"
