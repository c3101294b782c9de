// What one test of a GoogleTest program did, as the runner gathers it while
// the program runs ahead (GoogleTestRunner.h), and its replay as the
// method's messages when the run asks for that method.
#pragma once

#include "UnitTestBase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Kalvoro {

// A part result of a test as the stream sends it: a failure, an error
// thrown in it (line -1), or a skip (told apart by the printer's heading).
struct TGoogleTestPart {
  std::string File;
  std::string Line;
  std::string Message;
  bool Outside = false; // it came before the test (its suite's set-up)
  bool Thrown() const { return Line == "-1" && Message.find(" thrown in ") != std::string::npos; }
  // Whether aLine is the printer's heading of this part ("FILE:LINE:
  // Failure", "unknown file: Failure", "...: Skipped").
  bool HeadedBy(const std::string& aLine) const;
};

// Its part results from the stream, its lines from its output (where the
// printer's headings place the parts), and how it ended.
struct TGoogleTestOutcome {
  bool Started = false;
  bool Ended = false;  // it ended, or will never run
  bool Passed = false; // as the stream says
  bool Skipped = false;
  bool Settled = false; // nothing more will change it
  char Closed = 0;      // the printer's end line: 'O'k, 'F'ailed, 'S'kipped
  std::vector<TGoogleTestPart> Parts;
  std::vector<std::string> Lines;
  std::string Death; // why it ended as an exception (a crash, a limit)

  // Its parts, lines and death as a record (AheadStore.h), their size, and
  // back; Stored: they lie in the runner's store, from StoredAt.
  std::string Save() const;
  void Load(const std::string& aRecord);
  std::size_t Bytes() const;
  void Drop() {
    Parts.clear();
    Lines.clear();
    Death.clear();
  }
  bool Stored = false;
  bool Replayed = false; // the run has had it
  std::uint64_t StoredAt = 0;
  std::size_t StoredSize = 0;

  // Whether the printer headed each part on the output, in order: then
  // aSkipped says whether every part is a skip.
  bool Headed(bool& aSkipped) const;
  // Fires the method's messages: its lines in order, each part where the
  // printer showed it (a failure as a failed check, a thrown error as an
  // exception, a success's or a skip's text as a report), the death, the
  // skip.
  void Replay(TUnitTestBase& aUnitTest, int aMethodIndex) const;
};

} // namespace Kalvoro
