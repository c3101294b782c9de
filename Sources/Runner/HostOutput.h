// What the methods run in hosts wrote to their standard output and error:
// passed on to this process's own output as it is read, kept per method up
// to a bound (its head and its tail), and looked through for a sanitizer's
// report while the method that runs was built with one.
#pragma once

#include "SanitizerReport.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace Kalvoro {

class THostProcess;
class TUnitTestMethod;

class THostOutput {
public:
  // A method keeps its first and last KeptOutput bytes, with a line between
  // them that tells how much was left out.
  static constexpr std::size_t KeptOutput = 64u << 10;

  // Forgets what every method wrote.
  void Clear() { FKept.clear(); }
  // What aMethod wrote in its last run in a host.
  std::string Kept(const TUnitTestMethod& aMethod) const;
  // Shows a piece of the test's output (aStream 0 or 1) and keeps it with
  // aMethod.
  void Show(int aStream, const TUnitTestMethod& aMethod, std::string_view aPiece);
  // Shows the host's output up to the ends given and keeps it with aMethod.
  void Take(THostProcess& aHost, const TUnitTestMethod& aMethod, std::uint64_t aOutput,
            std::uint64_t aError);

  // The sanitizer's report in the standard error of the method that runs.
  void LookForReport(bool aLook) { FLook = aLook; }
  // Forgets the report read so far, and that it was fired.
  void RestartReport() {
    FReport.Clear();
    FFired = false;
  }
  void FinishReport() { FReport.Finish(); }
  const TSanitizerReport& Report() const { return FReport; }
  // Whether a report was found that was not fired yet; it counts as fired
  // from here.
  bool FireReport() { return FReport.Found() && !std::exchange(FFired, true); }

private:
  // A method's output as kept: its head, its tail, and how long it was.
  struct TKept {
    std::string Head;
    std::string Tail;
    std::uint64_t Size = 0;
    void Add(std::string_view aText);
  };

  std::map<const TUnitTestMethod*, TKept> FKept;
  TSanitizerReport FReport;
  bool FLook = false;
  bool FFired = false;
};

} // namespace Kalvoro
