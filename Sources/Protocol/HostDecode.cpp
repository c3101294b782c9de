// The decoders of the frames' payloads: each reads its fields through
// THostFields, which refuses a field that runs past the frame, and refuses
// bytes left after the last one.
#include "HostProtocol.h"

#include <cstring>
#include <string>

namespace Kalvoro {

namespace {

[[noreturn]] void Garbled(const char* aWhat) {
  throw EHostProtocol(std::string("Garbled frame from the test process: ") + aWhat);
}

TUnitTestResult ResultOf(std::uint8_t aValue) {
  if (aValue > tcrException)
    Garbled("unknown result");
  return static_cast<TUnitTestResult>(aValue);
}

} // namespace

THostPlan DecodePlan(std::string_view aPayload) {
  THostFields Fields(aPayload);
  THostPlan Plan;
  Plan.Version = Fields.U32();
  Plan.ModulePath = Fields.Text();
  Plan.Module.Device = Fields.U64();
  Plan.Module.Inode = Fields.U64();
  Plan.Module.Size = static_cast<std::int64_t>(Fields.U64());
  Plan.Module.Modified = static_cast<std::int64_t>(Fields.U64());
  Plan.Module.Changed = static_cast<std::int64_t>(Fields.U64());
  Plan.ScenarioName = Fields.Text();
  const std::uint64_t Limit = Fields.U64();
  std::memcpy(&Plan.TimeLimit, &Limit, sizeof Limit);
  Plan.ConsumedIds = Fields.U32();
  const std::uint32_t Count = Fields.U32();
  // Each entry takes at least 13 bytes: a count beyond that is garbage.
  if (Count > aPayload.size() / 13)
    Garbled("entry count");
  Plan.Entries.resize(Count);
  for (THostPlanEntry& Entry : Plan.Entries) {
    Entry.UnitTest = Fields.U32();
    Entry.UnitTestName = Fields.Text();
    Entry.Method = Fields.U32();
    Entry.ExitOnly = Fields.Bool();
  }
  Fields.End();
  return Plan;
}

std::uint32_t DecodeHello(std::string_view aPayload) {
  THostFields Fields(aPayload);
  const std::uint32_t Version = Fields.U32();
  Fields.End();
  return Version;
}

THostMessage DecodeMessage(std::string_view aPayload) {
  THostFields Fields(aPayload);
  THostMessage Message;
  Message.Id = static_cast<std::int32_t>(Fields.U32());
  if (Message.Id < MessageIdReport || Message.Id > MessageIdProgress)
    Garbled("unknown message id");
  Message.Success = Fields.Bool();
  const std::uint8_t Type = Fields.U8();
  if (Type > ptExitFinish)
    Garbled("unknown progress type");
  Message.ProgressType = static_cast<TProgressType>(Type);
  Message.Time = static_cast<std::int64_t>(Fields.U64());
  Message.Text = Fields.Text();
  // A progress message has no text: one that brings a text was not sent by
  // a host's framework and would not survive its rebuilding.
  if (Message.Id == MessageIdProgress && !Message.Text.empty())
    Garbled("a progress message with a text");
  Message.ScenarioName = Fields.Text();
  Message.UnitTestName = Fields.Text();
  Message.MethodName = Fields.Text();
  Message.FileName = Fields.Text();
  Message.Line = Fields.U32();
  Fields.End();
  return Message;
}

void DecodeMethodDone(std::string_view aPayload, std::uint32_t& aPosition,
                      TUnitTestResult& aResult) {
  THostFields Fields(aPayload);
  aPosition = Fields.U32();
  aResult = ResultOf(Fields.U8());
  Fields.End();
}

std::string DecodeText(std::string_view aPayload) {
  THostFields Fields(aPayload);
  std::string Text(Fields.Text());
  Fields.End();
  return Text;
}

void DecodeOutput(std::string_view aPayload, std::uint64_t& aOutput, std::uint64_t& aError) {
  THostFields Fields(aPayload);
  aOutput = Fields.U64();
  aError = Fields.U64();
  Fields.End();
}

std::uint32_t DecodeDropped(std::string_view aPayload) {
  THostFields Fields(aPayload);
  const std::uint32_t Count = Fields.U32();
  Fields.End();
  return Count;
}

} // namespace Kalvoro
