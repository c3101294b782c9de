// Test programs built with GoogleTest as a kind of test code: a suite is a
// unit test, a test a method. Recognised from the program's bytes; listed by
// the program's own list option with its JSON report on a descriptor of its
// own; run by GoogleTestRunner.h. A test program always runs as a process of
// its own, in hosts and in process alike.
#pragma once

#include "TestKind.h"

#include <string>
#include <utility>
#include <vector>

namespace Kalvoro {

class TGoogleTestKind final : public ITestKind {
public:
  // Each suite's name and its tests' names, in the program's order.
  using TSuites = std::vector<std::pair<std::string, std::vector<std::string>>>;
  std::string Name() const override { return "GoogleTest program"; }
  bool Recognises(const std::string& aPath) const override;
  void List(TModule& aModule) override;
  void Forget(const TModule&) override {}
  std::unique_ptr<IKindRunner> MakeRunner(const TWaitHook& aWait) override;

  // How long a listing may take, in seconds.
  void SetTimeLimit(double aSeconds) { FTimeLimit = aSeconds; }

  // The name that the program's filter takes for a test.
  static std::string FilterName(const std::string& aSuite, const std::string& aTest) {
    return aSuite + "." + aTest;
  }
  // A DISABLED_ test (or suite) is listed and runs only by name.
  static bool Disabled(const std::string& aSuite, const std::string& aTest) {
    return aSuite.starts_with("DISABLED_") || aTest.starts_with("DISABLED_");
  }

private:
  // Runs the program's listing (its JSON report), and keeps it in the
  // listing cache; refuses the module where the program fails.
  TSuites RunListing(TModule& aModule) const;

  double FTimeLimit = 10.0;
};

} // namespace Kalvoro
