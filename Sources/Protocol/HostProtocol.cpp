// Frames: a 32-bit little-endian length of what follows (the kind byte and
// the payload), then the kind, then the fields. Numbers are little-endian,
// texts a 32-bit length and their bytes.
#include "HostProtocol.h"

#include <bit>
#include <cstring>
#include <iterator>

namespace Kalvoro {

namespace {

// Numbers cross little-endian: on such a machine a plain copy.
std::uint32_t Load32(const char* aAt) {
  std::uint32_t Value = 0;
  std::memcpy(&Value, aAt, 4);
  if constexpr (std::endian::native == std::endian::big)
    Value = __builtin_bswap32(Value);
  return Value;
}

char* Put32(char* aAt, std::uint32_t aValue) {
  if constexpr (std::endian::native == std::endian::big)
    aValue = __builtin_bswap32(aValue);
  std::memcpy(aAt, &aValue, 4);
  return aAt + 4;
}

[[noreturn]] void Garbled(const char* aWhat) {
  throw EHostProtocol(std::string("Garbled frame from the test process: ") + aWhat);
}

// A text written in place, for the message frames that a host sends by the
// million.
char* PutText(char* aAt, std::string_view aValue) {
  aAt = Put32(aAt, static_cast<std::uint32_t>(aValue.size()));
  if (!aValue.empty())
    std::memcpy(aAt, aValue.data(), aValue.size());
  return aAt + aValue.size();
}

} // namespace

// ---------------------------------------------------------------------------
// THostFields

std::uint8_t THostFields::U8() {
  Need(1);
  return static_cast<std::uint8_t>(*FAt++);
}

bool THostFields::Bool() {
  const std::uint8_t Value = U8();
  if (Value > 1)
    Garbled("a flag is neither 0 nor 1");
  return Value == 1;
}

std::uint32_t THostFields::U32() {
  Need(4);
  const std::uint32_t Value = Load32(FAt);
  FAt += 4;
  return Value;
}

std::uint64_t THostFields::U64() {
  const std::uint64_t Low = U32();
  return Low | (static_cast<std::uint64_t>(U32()) << 32);
}

std::string_view THostFields::Text() {
  const std::uint32_t Size = U32();
  Need(Size);
  const std::string_view Value(FAt, Size);
  FAt += Size;
  return Value;
}

std::uint32_t THostFields::Count(std::size_t aItemSize) {
  const std::uint32_t Value = U32();
  if (Value > static_cast<std::size_t>(FEnd - FAt) / aItemSize)
    Garbled("item count");
  return Value;
}

void THostFields::End() const {
  if (FAt != FEnd)
    Garbled("bytes after the last field");
}

void THostFields::Need(std::size_t aSize) const {
  if (static_cast<std::size_t>(FEnd - FAt) < aSize)
    Garbled("a field runs past the frame");
}

// ---------------------------------------------------------------------------
// THostFrameWriter

void THostFrameWriter::Begin(THostFrame aKind) {
  FStart = FData.size();
  U32(0);
  U8(static_cast<std::uint8_t>(aKind));
}

void THostFrameWriter::End() {
  Put32(FData.data() + FStart, static_cast<std::uint32_t>(FData.size() - FStart - 4));
}

void THostFrameWriter::U8(std::uint8_t aValue) {
  FData.push_back(static_cast<char>(aValue));
}

void THostFrameWriter::U32(std::uint32_t aValue) {
  char Bytes[4];
  Put32(Bytes, aValue);
  FData.append(Bytes, 4);
}

void THostFrameWriter::U64(std::uint64_t aValue) {
  U32(static_cast<std::uint32_t>(aValue));
  U32(static_cast<std::uint32_t>(aValue >> 32));
}

void THostFrameWriter::Text(std::string_view aValue) {
  U32(static_cast<std::uint32_t>(aValue.size()));
  FData.append(aValue);
}

void THostFrameWriter::Plan(const THostPlan& aPlan) {
  Begin(THostFrame::Plan);
  U32(aPlan.Version);
  Text(aPlan.ModulePath);
  U64(aPlan.Module.Device);
  U64(aPlan.Module.Inode);
  U64(static_cast<std::uint64_t>(aPlan.Module.Size));
  U64(static_cast<std::uint64_t>(aPlan.Module.Modified));
  U64(static_cast<std::uint64_t>(aPlan.Module.Changed));
  Text(aPlan.ScenarioName);
  std::uint64_t Limit = 0;
  static_assert(sizeof Limit == sizeof aPlan.TimeLimit);
  std::memcpy(&Limit, &aPlan.TimeLimit, sizeof Limit);
  U64(Limit);
  U32(aPlan.ConsumedIds);
  U32(static_cast<std::uint32_t>(aPlan.Entries.size()));
  for (const THostPlanEntry& Entry : aPlan.Entries) {
    U32(Entry.UnitTest);
    Text(Entry.UnitTestName);
    U32(Entry.Method);
    U8(Entry.ExitOnly ? 1 : 0);
  }
  End();
}

void THostFrameWriter::Stop() {
  Begin(THostFrame::Stop);
  End();
}

void THostFrameWriter::Hello() {
  Begin(THostFrame::Hello);
  U32(HostProtocolVersion);
  End();
}

void THostFrameWriter::Message(const TCustomMessage& aMessage, std::int64_t aTime) {
  const auto& Base = static_cast<const TMessageBase&>(aMessage);
  const std::int32_t Id = aMessage.GetId();
  const auto* Check = Id == MessageIdCheck ? static_cast<const TCheckMessage*>(&aMessage) : nullptr;
  const auto* Progress =
      Id == MessageIdProgress ? static_cast<const TProgressMessage*>(&aMessage) : nullptr;
  if (Progress != nullptr && Base.Message().empty()) {
    // A method's phases after its first: the type and the time alone.
    if (FNamed && Base.MethodName() == FMethodName && Base.UnitTestName() == FUnitTestName &&
        Base.ScenarioName() == FScenarioName) {
      Begin(THostFrame::Step);
      U8(static_cast<std::uint8_t>(Progress->ProgressType()));
      U64(static_cast<std::uint64_t>(aTime));
      End();
      return;
    }
    FNamed = true;
    FScenarioName = Base.ScenarioName();
    FUnitTestName = Base.UnitTestName();
    FMethodName = Base.MethodName();
  }
  const std::string_view Texts[] = {
      Base.Message(), Base.ScenarioName(), Base.UnitTestName(), Base.MethodName(),
      Check != nullptr ? std::string_view(Check->FileName()) : std::string_view()};
  // The length, the kind, the id, two flags, the time, the texts' lengths
  // and the line; then the texts, each copied once.
  std::size_t Size = 4 + 1 + 4 + 2 + 8 + 4 * std::size(Texts) + 4;
  for (const std::string_view Text : Texts)
    Size += Text.size();
  const std::size_t Start = FData.size();
  FData.resize(Start + Size);
  char* At = FData.data() + Start;
  At = Put32(At, static_cast<std::uint32_t>(Size - 4));
  *At++ = static_cast<char>(THostFrame::Message);
  At = Put32(At, static_cast<std::uint32_t>(Id));
  *At++ = static_cast<char>(Check == nullptr || Check->Success() ? 1 : 0);
  *At++ = static_cast<char>(Progress != nullptr ? Progress->ProgressType() : 0);
  At = Put32(At, static_cast<std::uint32_t>(aTime));
  At = Put32(At, static_cast<std::uint32_t>(static_cast<std::uint64_t>(aTime) >> 32));
  for (const std::string_view Text : Texts)
    At = PutText(At, Text);
  Put32(At, Check != nullptr ? Check->Line() : 0);
}

void THostFrameWriter::MethodDone(std::uint32_t aPosition, TUnitTestResult aResult) {
  Begin(THostFrame::MethodDone);
  U32(aPosition);
  U8(static_cast<std::uint8_t>(aResult));
  End();
}

void THostFrameWriter::Retire() {
  Begin(THostFrame::Retire);
  End();
}

void THostFrameWriter::Finished() {
  Begin(THostFrame::Finished);
  End();
}

void THostFrameWriter::LoadFailed(std::string_view aText) {
  Begin(THostFrame::LoadFailed);
  Text(aText);
  End();
}

void THostFrameWriter::Output(std::uint64_t aOutput, std::uint64_t aError) {
  Begin(THostFrame::Output);
  U64(aOutput);
  U64(aError);
  End();
}

void THostFrameWriter::Dropped(std::uint32_t aCount) {
  Begin(THostFrame::Dropped);
  U32(aCount);
  End();
}

// ---------------------------------------------------------------------------
// THostFrameReader

void THostFrameReader::Append(const char* aData, std::size_t aSize) {
  // Drop what has been handed out before the buffer grows.
  if (FRead > 0 && FRead == FData.size()) {
    FData.clear();
    FRead = 0;
  } else if (FRead > (1u << 20) && FRead * 2 > FData.size()) {
    FData.erase(0, FRead);
    FRead = 0;
  }
  FData.append(aData, aSize);
}

bool THostFrameReader::Next(THostFrameView& aFrame) {
  const std::size_t Available = FData.size() - FRead;
  if (Available < 4)
    return false;
  const std::uint32_t Length = Load32(FData.data() + FRead);
  if (Length == 0 || Length > MaxHostFrame)
    Garbled("length out of range");
  if (Available - 4 < Length)
    return false;
  const auto Kind = static_cast<std::uint8_t>(FData[FRead + 4]);
  const bool Known = (Kind >= 1 && Kind <= 3) || (Kind >= 10 && Kind <= 19);
  if (!Known)
    Garbled("unknown kind");
  aFrame.Kind = static_cast<THostFrame>(Kind);
  aFrame.Payload = std::string_view(FData).substr(FRead + 5, Length - 1);
  FRead += 4 + Length;
  aFrame.Decoded = false;
  if (aFrame.Kind == THostFrame::Step) {
    aFrame.Kind = THostFrame::Message;
    aFrame.Payload = Expand(aFrame.Payload, aFrame.Message);
    aFrame.Decoded = true;
  } else if (aFrame.Kind == THostFrame::Message) {
    aFrame.Decoded = NoteNames(aFrame.Payload, aFrame.Message);
  }
  return true;
}

bool THostFrameReader::NoteNames(std::string_view aPayload, THostMessage& aMessage) {
  if (aPayload.size() < 4 ||
      Load32(aPayload.data()) != static_cast<std::uint32_t>(MessageIdProgress))
    return false;
  aMessage = DecodeMessage(aPayload);
  FNamed = true;
  // Mostly the names of the message before: only a changed one is copied.
  if (FScenarioName != aMessage.ScenarioName)
    FScenarioName = aMessage.ScenarioName;
  if (FUnitTestName != aMessage.UnitTestName)
    FUnitTestName = aMessage.UnitTestName;
  if (FMethodName != aMessage.MethodName)
    FMethodName = aMessage.MethodName;
  return true;
}

std::string_view THostFrameReader::Expand(std::string_view aPayload, THostMessage& aMessage) {
  THostFields Fields(aPayload);
  const std::uint8_t Type = Fields.U8();
  const std::uint64_t Time = Fields.U64();
  Fields.End();
  if (Type > ptExitFinish)
    Garbled("unknown progress type");
  if (!FNamed)
    Garbled("a step before any progress message");
  // As THostFrameWriter::Message writes a progress message, from the id on.
  FExpanded.resize(4 + 1 + 1 + 8 + 4 * 5 + FScenarioName.size() + FUnitTestName.size() +
                   FMethodName.size() + 4);
  char* At = Put32(FExpanded.data(), static_cast<std::uint32_t>(MessageIdProgress));
  *At++ = 1;
  *At++ = static_cast<char>(Type);
  At = Put32(At, static_cast<std::uint32_t>(Time));
  At = Put32(At, static_cast<std::uint32_t>(Time >> 32));
  for (const std::string_view Text :
       {std::string_view(), std::string_view(FScenarioName), std::string_view(FUnitTestName),
        std::string_view(FMethodName), std::string_view()})
    At = PutText(At, Text);
  Put32(At, 0);
  aMessage = THostMessage();
  aMessage.Id = MessageIdProgress;
  aMessage.ProgressType = static_cast<TProgressType>(Type);
  aMessage.Time = static_cast<std::int64_t>(Time);
  aMessage.ScenarioName = FScenarioName;
  aMessage.UnitTestName = FUnitTestName;
  aMessage.MethodName = FMethodName;
  return FExpanded;
}

} // namespace Kalvoro
