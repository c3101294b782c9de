// The end of a GoogleTest program's start: the last events and output, the
// framework's report at a normal exit, and what becomes of the tests it did
// not end.
#include "GoogleTestKind.h"
#include "GoogleTestStart.h"
#include "Json.h"

#include <algorithm>
#include <set>

namespace Kalvoro {

void SettleEndedStart(TGoogleTestStart& aStart, std::map<std::string, TGoogleTestOutcome>& Outcomes,
                      TAheadKeeper<TGoogleTestOutcome>& aKeeper) {
  if (!aStart.Open.empty()) {
    TGoogleTestOutcome& Open = Outcomes[aStart.Open];
    Open.Death = aStart.Death.empty() ? "Test process " + aStart.Program->EndText() : aStart.Death;
    Open.Ended = true;
    Open.Passed = false;
  }
  // The report tells a skip from a failure only where the printer's headings
  // did not: a start whose tests all settled as they ended leaves it unread
  // (reading a report of 2,000 tests was a third of the runner's work).
  const bool Unsettled =
      std::any_of(aStart.Tests.begin(), aStart.Tests.end(), [&](const auto& aTest) {
        const auto Found = Outcomes.find(aTest);
        return Found != Outcomes.end() && Found->second.Ended && !Found->second.Settled &&
               Found->second.Death.empty();
      });
  aStart.Unclosed = Unsettled;
  // Without the report they run again in a start that asks for it; what
  // they did in this one is dropped.
  std::set<std::string> Again;
  if (Unsettled && !aStart.AskedReport)
    for (const std::string& Test : aStart.Tests) {
      TGoogleTestOutcome& Outcome = Outcomes[Test];
      if (Outcome.Ended && !Outcome.Settled && Outcome.Death.empty()) {
        Outcome = TGoogleTestOutcome();
        Again.insert(Test);
        aStart.Progress = true;
      }
    }
  if (Unsettled && aStart.Program->ExitedNormally() && !aStart.Report.empty()) {
    try {
      const TJson Report = ReadJson(aStart.Report);
      if (const TJson* Suites = Report.Find("testsuites"))
        for (const TJson& Suite : Suites->Items)
          if (const TJson* Tests = Suite.Find("testsuite"))
            for (const TJson& Test : Tests->Items) {
              const auto Found = Outcomes.find(
                  TGoogleTestKind::FilterName(Suite.TextOf("name"), Test.TextOf("name")));
              if (Found != Outcomes.end() && Found->second.Death.empty())
                Found->second.Skipped = Test.TextOf("result") == "SKIPPED";
            }
    } catch (const EJson&) {
      // A report that cannot be read tells nothing more: failures stay.
    }
  }
  // Killed between tests while a suite had begun (its set-up hangs): the
  // suite's first test not run yet ends with it, and the program starts
  // again for the rest.
  if (aStart.Open.empty() && !aStart.Death.empty() && !aStart.Suite.empty())
    for (const std::string& Test : aStart.Tests) {
      TGoogleTestOutcome& Outcome = Outcomes[Test];
      if (!Outcome.Ended && Test.starts_with(aStart.Suite + ".")) {
        Outcome.Death = aStart.Death + " in its suite's set-up";
        Outcome.Ended = true;
        aStart.Progress = true;
        break;
      }
    }
  const std::string Ended = aStart.Program->EndText();
  for (const std::string& Test : aStart.Tests) {
    TGoogleTestOutcome& Outcome = Outcomes[Test];
    if (Again.count(Test) != 0)
      continue;
    if (Outcome.Ended) {
      Outcome.Settled = true;
      aKeeper.Keep(Outcome);
      continue;
    }
    // A test not reached runs in the next start, unless this one ran none or
    // ended cleanly without it: it ends then, saying why.
    if (!aStart.Progress || aStart.ProgramEnded) {
      Outcome.Death = aStart.ProgramEnded ? "The test program did not run this test"
                      : !aStart.Death.empty()
                          ? aStart.Death + " before the test program ran this test"
                          : "The test program " + Ended + " before it ran this test";
      Outcome.Ended = Outcome.Settled = true;
      aKeeper.Keep(Outcome);
    }
  }
}

} // namespace Kalvoro
