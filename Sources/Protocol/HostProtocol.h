// The protocol between a runner and its run hosts: length-prefixed frames
// over a socket of their own. The runner sends a plan (and perhaps a stop);
// the host answers with a hello, every run message, every method's result,
// and how the plan ends: Finished (it waits for the next plan) or Retire (it
// ends).
//
// A host runs test code, so every byte it sends is input: a frame that is
// short, garbled, of an unknown kind or larger than any message can be raises
// EHostProtocol, and the runner then treats the host as dead.
#pragma once

#include "Exception.h"
#include "NotificationMessages.h"
#include "Sanitizer.h"
#include "UnitTestBase.h"
#include "UnitTestMethod.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

// Changes whenever a frame's layout changes; a host of another version is
// refused.
inline constexpr std::uint32_t HostProtocolVersion = 6;
// No frame is larger: a 100 MB report line passes, a garbled length does not
// make the runner allocate gigabytes.
inline constexpr std::uint32_t MaxHostFrame = 1u << 30;

class EHostProtocol : public Exception {
public:
  using Exception::Exception;
};

enum class THostFrame : std::uint8_t {
  // Runner to host.
  Plan = 1,
  Stop = 2,
  List = 3,
  // Host to runner.
  Hello = 10,
  Message = 11,
  MethodDone = 12,
  Retire = 13,
  Finished = 14,
  LoadFailed = 15,
  Output = 16,
  Listing = 17,
  Dropped = 18,
  // A progress message with the names of the last full progress message:
  // its type and time alone. The reader hands it out as the Message frame
  // it stands for, so no caller ever sees one.
  Step = 19,
};

// One method of a plan: by index in the module's unit-test list and in the
// unit test's method list (names may repeat or be empty); the name is only
// checked. ExitOnly runs the method's Exit phase alone (after a host died in
// its Init or the method itself).
struct THostPlanEntry {
  std::uint32_t UnitTest = 0;
  std::string UnitTestName;
  std::uint32_t Method = 0;
  bool ExitOnly = false;
};

struct THostPlan {
  std::uint32_t Version = HostProtocolVersion;
  std::string ModulePath;
  // The module file as the runner listed it: a host loads only that file.
  TModuleFileIdentity Module;
  std::string ScenarioName;
  double TimeLimit = 0;
  std::uint32_t ConsumedIds = 0; // the runner's handlers' MessageIdBit mask
  std::vector<THostPlanEntry> Entries;
  // How a host for it starts (the runner's own: not sent).
  THostRuntime Runtime;
};

// A run message as it crossed: enough to rebuild it exactly. The texts are
// views into the frame it was decoded from, valid as long as that frame.
struct THostMessage {
  std::int32_t Id = 0;
  bool Success = true;
  TProgressType ProgressType = ptScenarioStart;
  // The host's CLOCK_MONOTONIC in nanoseconds when a progress message was
  // sent (the start of a phase's time limit); 0 for the other messages.
  std::int64_t Time = 0;
  std::string_view Text;
  std::string_view ScenarioName;
  std::string_view UnitTestName;
  std::string_view MethodName;
  std::string_view FileName;
  std::uint32_t Line = 0;
};

// Builds frames into one buffer; the owner writes Data() and calls Clear().
class THostFrameWriter {
public:
  void Plan(const THostPlan& aPlan);
  void Stop();
  void Hello();
  void Message(const TCustomMessage& aMessage, std::int64_t aTime);
  void MethodDone(std::uint32_t aPosition, TUnitTestResult aResult);
  void Retire();
  void Finished();
  void LoadFailed(std::string_view aText);
  // How far the host's standard output and error files have been written.
  void Output(std::uint64_t aOutput, std::uint64_t aError);
  // How many more checks and reports of a test's threads were dropped.
  void Dropped(std::uint32_t aCount);

  const std::string& Data() const { return FData; }
  std::size_t Size() const { return FData.size(); }
  // Clears the frames, not what the next ones refer to (the last progress
  // message's names): the reader has been handed every frame before.
  void Clear() { FData.clear(); }

  // The parts of a frame, for the frames that are written elsewhere
  // (HostListing.h): Begin, the fields, End.
  void Begin(THostFrame aKind);
  void End();
  void U8(std::uint8_t aValue);
  void U32(std::uint32_t aValue);
  void U64(std::uint64_t aValue);
  void Text(std::string_view aValue);

private:
  std::string FData;
  std::size_t FStart = 0;
  // The names of the last progress message written in full: a method's
  // phases repeat them, and go as Step frames.
  bool FNamed = false;
  std::string FScenarioName;
  std::string FUnitTestName;
  std::string FMethodName;
};

// One frame as read: its kind and payload (after the kind byte).
struct THostFrameView {
  THostFrame Kind;
  std::string_view Payload;
  // A progress message's frame (a step's too) as the reader decoded it, so
  // that it is not decoded again; its texts live as long as the payload.
  bool Decoded = false;
  THostMessage Message;
};

// Collects bytes as they arrive and hands out whole frames.
class THostFrameReader {
public:
  void Append(const char* aData, std::size_t aSize);
  // The next whole frame, or false when more bytes are needed; raises
  // EHostProtocol on a length out of range. The view lives until the next
  // call.
  bool Next(THostFrameView& aFrame);
  // Bytes received that no whole frame holds yet.
  std::size_t Pending() const { return FData.size() - FRead; }

private:
  // Notes the names of a full progress message, decoded into aMessage
  // (false for any other message); raises EHostProtocol on a progress
  // message that does not decode.
  bool NoteNames(std::string_view aPayload, THostMessage& aMessage);
  // A Step frame as the Message frame it stands for, in FExpanded, and as
  // that message decoded, in aMessage.
  std::string_view Expand(std::string_view aPayload, THostMessage& aMessage);

  std::string FData;
  std::size_t FRead = 0;
  bool FNamed = false;
  std::string FScenarioName;
  std::string FUnitTestName;
  std::string FMethodName;
  std::string FExpanded;
};

// Reads fields from one payload; every read checks what is left and raises
// EHostProtocol past the end. Texts are views into the payload.
class THostFields {
public:
  explicit THostFields(std::string_view aPayload)
      : FAt(aPayload.data()), FEnd(aPayload.data() + aPayload.size()) {}

  std::uint8_t U8();
  bool Bool();
  std::uint32_t U32();
  std::uint64_t U64();
  std::string_view Text();
  // A count of items that take at least aItemSize bytes each: one larger
  // than what is left can hold is garbage.
  std::uint32_t Count(std::size_t aItemSize);
  void End() const;

private:
  void Need(std::size_t aSize) const;
  const char* FAt;
  const char* FEnd;
};

// Decoders; each raises EHostProtocol on a payload that does not fit exactly.
// A decoded message's texts are views into aPayload.
THostPlan DecodePlan(std::string_view aPayload);
std::uint32_t DecodeHello(std::string_view aPayload);
THostMessage DecodeMessage(std::string_view aPayload);
void DecodeMethodDone(std::string_view aPayload, std::uint32_t& aPosition,
                      TUnitTestResult& aResult);
std::string DecodeText(std::string_view aPayload);
void DecodeOutput(std::string_view aPayload, std::uint64_t& aOutput, std::uint64_t& aError);
std::uint32_t DecodeDropped(std::string_view aPayload);

} // namespace Kalvoro
