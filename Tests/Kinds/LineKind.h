// The tests' own kind of test code (LineProgram.cpp): it proves that a kind
// lists and runs through the programs with no change to the runner core or
// the views. Its runner runs each method as a process of the program and
// turns the program's lines into the method's messages.
#pragma once

#include "TestKind.h"

namespace KalvoroTest {

class TLineKind final : public Kalvoro::ITestKind {
public:
  std::string Name() const override { return "line test program"; }
  bool Recognises(const std::string& aPath) const override;
  void List(Kalvoro::TModule& aModule) override;
  void Forget(const Kalvoro::TModule&) override {}
  std::unique_ptr<Kalvoro::IKindRunner> MakeRunner(const Kalvoro::TWaitHook& aWait) override;
};

// Registers a line kind for its lifetime.
class TLineKindScope {
public:
  TLineKindScope() { Kalvoro::RegisterTestKind(&FKind); }
  ~TLineKindScope() { Kalvoro::UnregisterTestKind(&FKind); }
  TLineKindScope(const TLineKindScope&) = delete;
  TLineKindScope& operator=(const TLineKindScope&) = delete;

private:
  TLineKind FKind;
};

} // namespace KalvoroTest
