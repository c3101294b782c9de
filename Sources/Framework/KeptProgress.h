// Delivery of a unit test's progress messages. Those of a run differ from
// the last ones of their type in the method's name at most: each type's
// message is kept per thread and only a name that changed is set, so that a
// name too long to be held in place (the default scenario's) is not copied
// to the heap at every phase.
#pragma once

#include "NotificationMessages.h"

#include <string>

namespace Kalvoro {

class TMessageEventList;

class TKeptProgress {
public:
  // Delivers the progress message of aType with these names to aHandlers. A
  // message still on its way when another of its type comes (a handler that
  // runs tests) is left alone: that one is built afresh.
  static void Deliver(TMessageEventList& aHandlers, TProgressType aType,
                      const std::string& aScenarioName, const std::string& aUnitTestName,
                      const std::string& aMethodName);
};

} // namespace Kalvoro
