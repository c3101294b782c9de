// Everything a module's code and the programs use of unit tests: the unit
// test itself (UnitTestCore.h), test scenarios (TestScenario.h) with their
// summary (Summary.h) and run plans (RunPlan.h), and test modules
// (Module.h). The header that module code includes.
#pragma once

#include "Module.h"
#include "NotificationMessages.h"
#include "RunPlan.h"
#include "Summary.h"
#include "TestScenario.h"
#include "UnitTestCore.h"
