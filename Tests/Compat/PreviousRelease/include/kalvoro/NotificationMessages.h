// The four concrete run messages.
#pragma once

#include "MessageEventList.h"

#include <cstdint>
#include <string>

namespace Kalvoro {

inline constexpr std::int32_t MessageIdReport = 100;
inline constexpr std::int32_t MessageIdCheck = 101;
inline constexpr std::int32_t MessageIdException = 102;
inline constexpr std::int32_t MessageIdProgress = 103;

enum TProgressType : std::uint8_t {
  ptScenarioStart,
  ptScenarioFinish,
  ptUnitTestStart,
  ptUnitTestFinish,
  ptInitStart,
  ptInitFinish,
  ptMethodStart,
  ptMethodFinish,
  ptExitStart,
  ptExitFinish
};

// Text fields shared by all messages; it does not implement GetId.
class KALVORO_API TMessageBase : public TCustomMessage {
public:
  const std::string& Message() const { return FMessage; }
  const std::string& ScenarioName() const { return FScenarioName; }
  const std::string& UnitTestName() const { return FUnitTestName; }
  const std::string& MethodName() const { return FMethodName; }

  void SetMessage(std::string aValue) { FMessage = std::move(aValue); }
  void SetScenarioName(std::string aValue) { FScenarioName = std::move(aValue); }
  void SetUnitTestName(std::string aValue) { FUnitTestName = std::move(aValue); }
  void SetMethodName(std::string aValue) { FMethodName = std::move(aValue); }

protected:
  TMessageBase() = default;
  TMessageBase(std::string aMessage, std::string aScenarioName, std::string aUnitTestName,
               std::string aMethodName)
      : FMessage(std::move(aMessage)), FScenarioName(std::move(aScenarioName)),
        FUnitTestName(std::move(aUnitTestName)), FMethodName(std::move(aMethodName)) {}

private:
  std::string FMessage;
  std::string FScenarioName;
  std::string FUnitTestName;
  std::string FMethodName;
};

// A line of text reported by test code.
class KALVORO_API TReportMessage : public TMessageBase {
public:
  explicit TReportMessage(std::string aText) : TMessageBase(std::move(aText), {}, {}, {}) {}
  std::int32_t GetId() const override;
};

// The outcome of one check.
class KALVORO_API TCheckMessage : public TMessageBase {
public:
  // A check that held: the text alone.
  explicit TCheckMessage(std::string aText) : TMessageBase(std::move(aText), {}, {}, {}) {}
  // A check that failed: text first, then where it failed.
  TCheckMessage(std::string aText, std::string aScenarioName, std::string aUnitTestName,
                std::string aMethodName)
      : TMessageBase(std::move(aText), std::move(aScenarioName), std::move(aUnitTestName),
                     std::move(aMethodName)),
        FSuccess(false) {}
  std::int32_t GetId() const override;

  bool Success() const { return FSuccess; }
  void SetSuccess(bool aValue) { FSuccess = aValue; }

  // Where the check stands in the test's sources: the file as the compiler
  // was given it, and the line (empty and 0 when unknown).
  const std::string& FileName() const { return FFileName; }
  unsigned Line() const { return FLine; }
  void SetLocation(std::string aFileName, unsigned aLine) {
    FFileName = std::move(aFileName);
    FLine = aLine;
  }
  // "FILE:LINE", as compilers name a place; empty when the file is unknown.
  std::string Location() const;

private:
  bool FSuccess = true;
  unsigned FLine = 0;
  std::string FFileName;
};

// An error caught in a guarded phase: where first, the error's text last.
class KALVORO_API TExceptionMessage : public TMessageBase {
public:
  TExceptionMessage(std::string aScenarioName, std::string aUnitTestName, std::string aMethodName,
                    std::string aText)
      : TMessageBase(std::move(aText), std::move(aScenarioName), std::move(aUnitTestName),
                     std::move(aMethodName)) {}
  std::int32_t GetId() const override;
};

// A phase of the run starts or finishes; Message stays empty.
class KALVORO_API TProgressMessage : public TMessageBase {
public:
  TProgressMessage(TProgressType aProgressType, std::string aScenarioName,
                   std::string aUnitTestName, std::string aMethodName)
      : TMessageBase({}, std::move(aScenarioName), std::move(aUnitTestName),
                     std::move(aMethodName)),
        FProgressType(aProgressType) {}
  std::int32_t GetId() const override;

  TProgressType ProgressType() const { return FProgressType; }

private:
  TProgressType FProgressType;
};

} // namespace Kalvoro
