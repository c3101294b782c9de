#include "TestKind.h"

#include <algorithm>

namespace Kalvoro {

namespace {

std::vector<ITestKind*>& Registered() {
  static std::vector<ITestKind*> Kinds;
  return Kinds;
}

} // namespace

void RegisterTestKind(ITestKind* aKind) {
  if (aKind != nullptr &&
      std::find(Registered().begin(), Registered().end(), aKind) == Registered().end())
    Registered().push_back(aKind);
}

void UnregisterTestKind(ITestKind* aKind) {
  std::erase(Registered(), aKind);
}

const std::vector<ITestKind*>& TestKinds() {
  return Registered();
}

} // namespace Kalvoro
