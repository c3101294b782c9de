#include "GoogleTestOutcome.h"

#include "AheadStore.h"
#include "KindEvents.h"

#include <algorithm>
#include <cstdlib>

namespace Kalvoro {

namespace {

std::size_t LineCount(const std::string& aMessage) {
  return static_cast<std::size_t>(std::count(aMessage.begin(), aMessage.end(), '\n')) + 1;
}

unsigned LineNumber(const TGoogleTestPart& aPart) {
  return static_cast<unsigned>(std::max(std::atoi(aPart.Line.c_str()), 0));
}

} // namespace

bool TGoogleTestPart::HeadedBy(const std::string& aLine) const {
  const std::string Heading = (File.empty() ? "unknown file" : File + ":" + Line) + ": ";
  return aLine == Heading + "Failure" || aLine == Heading + "Skipped";
}

bool TGoogleTestOutcome::Headed(bool& aSkipped) const {
  aSkipped = !Parts.empty();
  std::size_t From = 0;
  for (const TGoogleTestPart& Part : Parts) {
    bool Found = false;
    for (; From < Lines.size() && !Found; ++From)
      if (Part.HeadedBy(Lines[From])) {
        Found = true;
        aSkipped = aSkipped && Lines[From].ends_with("Skipped");
      }
    if (!Found)
      return false;
  }
  return true;
}

std::string TGoogleTestOutcome::Save() const {
  TRecord Record;
  Record.Number(Parts.size());
  for (const TGoogleTestPart& Part : Parts) {
    Record.Text(Part.File);
    Record.Text(Part.Line);
    Record.Text(Part.Message);
    Record.Number(Part.Outside ? 1 : 0);
  }
  Record.Number(Lines.size());
  for (const std::string& Line : Lines)
    Record.Text(Line);
  Record.Text(Death);
  return Record.Bytes();
}

void TGoogleTestOutcome::Load(const std::string& aRecord) {
  TRecordReader Record(aRecord);
  Parts.resize(Record.Number());
  for (TGoogleTestPart& Part : Parts) {
    Part.File = Record.Text();
    Part.Line = Record.Text();
    Part.Message = Record.Text();
    Part.Outside = Record.Number() != 0;
  }
  Lines.resize(Record.Number());
  for (std::string& Line : Lines)
    Line = Record.Text();
  Death = Record.Text();
}

std::size_t TGoogleTestOutcome::Bytes() const {
  std::size_t Size = Death.size();
  for (const TGoogleTestPart& Part : Parts)
    Size += Part.File.size() + Part.Line.size() + Part.Message.size() + 32;
  for (const std::string& Line : Lines)
    Size += Line.size() + 32;
  return Size;
}

void TGoogleTestOutcome::Replay(TUnitTestBase& aUnitTest, int aMethodIndex) const {
  TMethodEvents Events(aUnitTest, aMethodIndex);
  // A failure before the test (its suite's set-up) fails the test's Init.
  Events.Start([&] {
    for (const TGoogleTestPart& Part : Parts)
      if (Part.Outside)
        Events.Check(false, Part.Message, Part.File, LineNumber(Part));
  });
  // Where the framework's printer ran, it headed every failure and skip on
  // the output; a part it did not head is a success (SUCCEED's).
  const bool Printed = std::any_of(Parts.begin(), Parts.end(), [&](const TGoogleTestPart& aPart) {
    return std::any_of(Lines.begin(), Lines.end(),
                       [&](const std::string& aLine) { return aPart.HeadedBy(aLine); });
  });
  auto Fire = [&](const TGoogleTestPart& aPart, bool aHeaded) {
    if (aPart.Outside)
      return; // fired in Init
    if (aPart.Thrown() && !Passed)
      Events.Exception(aPart.Message);
    else if (Passed || Skipped || (Printed && !aHeaded)) {
      if (!aPart.Message.empty())
        Events.Report(aPart.Message); // a success's text, or why it skipped
    } else
      Events.Check(false, aPart.Message, aPart.File, LineNumber(aPart));
  };
  // The lines in order; where the printer showed a part, the part instead
  // (its heading and message lines are left out).
  std::size_t Next = 0;
  for (std::size_t I = 0; I < Lines.size(); ++I) {
    // Parts the printer did not head come before the next one it did.
    std::size_t Headed = Next;
    while (Headed < Parts.size() && !Parts[Headed].HeadedBy(Lines[I]))
      ++Headed;
    if (Headed < Parts.size()) {
      for (; Next < Headed; ++Next)
        Fire(Parts[Next], false);
      Fire(Parts[Next], true);
      I += LineCount(Parts[Next].Message);
      ++Next;
      continue;
    }
    Events.Report(Lines[I]);
  }
  for (; Next < Parts.size(); ++Next)
    Fire(Parts[Next], false);
  if (!Death.empty())
    Events.Exception(Death);
  if (Skipped)
    Events.Skip({});
  Events.Finish();
}

} // namespace Kalvoro
