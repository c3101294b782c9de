// The smallest unit-test class: it registers no test methods.
#pragma once

#include "UnitTest.h"

class TEmpty : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};
