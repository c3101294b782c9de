// The run hosts' frames: what crosses comes back the same, and what a broken
// or hostile host sends is refused, never trusted.
#include "HostProtocol.h"
#include "HostListing.h"
#include "HostRing.h"

#include "FrameworkTestSupport.h"
#include "HostMessages.h"

#include "../../Fuzz/HostFrameOracle.h"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <vector>

namespace Kalvoro {
namespace {

// A ring's memory as the host and the runner map it.
class TRingMemory {
public:
  TRingMemory() : FWords(HostRingSize / sizeof(std::uint64_t)) {
    new (FWords.data()) THostRingHeader;
  }
  void* Data() { return FWords.data(); }

private:
  std::vector<std::uint64_t> FWords;
};

std::vector<std::string> Frames(const std::string& aBytes, std::size_t aChunk) {
  THostFrameReader Reader;
  std::vector<std::string> Payloads;
  for (std::size_t Start = 0; Start < aBytes.size(); Start += aChunk) {
    Reader.Append(aBytes.data() + Start, std::min(aChunk, aBytes.size() - Start));
    THostFrameView Frame{};
    while (Reader.Next(Frame))
      Payloads.emplace_back(Frame.Payload);
  }
  EXPECT_EQ(Reader.Pending(), 0u);
  return Payloads;
}

TEST(HostProtocol, PlansMessagesAndListingsCrossWhole) {
  THostPlan Plan;
  Plan.ModulePath = "/tmp/a b/Tests.so";
  Plan.Module = {0x1234567890ull, 42, 9000, -1, 1765000000123456789};
  Plan.ScenarioName = "Smoke | fast";
  Plan.TimeLimit = 0.25;
  Plan.ConsumedIds = MessageIdBit(MessageIdReport) | FailedChecksBit;
  Plan.Entries = {{0, "TA", 3, false}, {7, "", 0, true}, {7, "", 0, false}};
  TCheckMessage Check("sum", "Smoke", "TA", "TestAdd");
  Check.SetLocation("Add.cpp", 12);
  constexpr std::size_t Huge = 100u << 20; // a 100 MB report line
  const TReportMessage Report(std::string(Huge, 'x'));
  TProgressMessage Progress(ptExitFinish, "Smoke", "TA", "Exit");
  THostFrameWriter Writer;
  Writer.Plan(Plan);
  Writer.Message(Check, -5);
  Writer.Message(Report, 7);
  Writer.Message(Progress, 9);
  Writer.MethodDone(2, tcrFailure);
  THostListing Listing;
  Listing.Listed = true;
  Listing.State = msLoadSuccess;
  Listing.Identity = {7, 8, 9, -10, 11};
  Listing.UnitTests = {{"TA", {"TestAdd", ""}}, {"TB", {}}};
  Listing.NameChanges = {{"T|C", ""}};
  WriteListing(Writer, Listing);
  for (const std::size_t Chunk : {std::size_t{1} << 30, std::size_t{65521}}) {
    const std::vector<std::string> Payloads = Frames(Writer.Data(), Chunk);
    ASSERT_EQ(Payloads.size(), 6u);
    const THostListing Listed = DecodeListing(Payloads[5]);
    EXPECT_TRUE(Listed.Listed);
    EXPECT_TRUE(Listed.Identity == Listing.Identity);
    ASSERT_EQ(Listed.UnitTests.size(), 2u);
    EXPECT_EQ(Listed.UnitTests[0].Methods, Listing.UnitTests[0].Methods);
    EXPECT_EQ(Listed.UnitTests[1].Name, "TB");
    ASSERT_EQ(Listed.NameChanges.size(), 1u);
    EXPECT_EQ(Listed.NameChanges[0].Registered, "T|C");
    const THostPlan Back = DecodePlan(Payloads[0]);
    EXPECT_EQ(Back.ModulePath, Plan.ModulePath);
    EXPECT_EQ(Back.Module, Plan.Module);
    EXPECT_EQ(Back.ScenarioName, Plan.ScenarioName);
    EXPECT_EQ(Back.TimeLimit, 0.25);
    EXPECT_EQ(Back.ConsumedIds, Plan.ConsumedIds);
    ASSERT_EQ(Back.Entries.size(), 3u);
    EXPECT_EQ(Back.Entries[1].UnitTest, 7u);
    EXPECT_TRUE(Back.Entries[1].ExitOnly);
    const THostMessage Failed = DecodeMessage(Payloads[1]);
    EXPECT_FALSE(Failed.Success);
    EXPECT_EQ(Failed.Time, -5);
    const auto Rebuilt = RebuildMessage(Failed);
    const auto& RebuiltCheck = static_cast<const TCheckMessage&>(*Rebuilt);
    EXPECT_EQ(RebuiltCheck.Location(), "Add.cpp:12");
    EXPECT_EQ(RebuiltCheck.MethodName(), "TestAdd");
    EXPECT_EQ(DecodeMessage(Payloads[2]).Text.size(), Huge);
    EXPECT_EQ(static_cast<const TProgressMessage&>(*RebuildMessage(DecodeMessage(Payloads[3])))
                  .ProgressType(),
              ptExitFinish);
    std::uint32_t Position = 0;
    TUnitTestResult Result = tcrTodo;
    DecodeMethodDone(Payloads[4], Position, Result);
    EXPECT_EQ(Position, 2u);
    EXPECT_EQ(Result, tcrFailure);
  }

  // Through the ring as the host publishes and the runner takes: a frame
  // that wraps past the ring's end comes out whole, and a full ring takes
  // nothing more until it is read.
  TRingMemory Ring;
  std::uint64_t Read = HostRingCapacity - 3;
  RingHeader(Ring.Data())->Written = Read;
  RingHeader(Ring.Data())->Read = Read;
  THostFrameWriter Done;
  Done.MethodDone(7, tcrException);
  ASSERT_EQ(RingAppend(Ring.Data(), Done.Data().data(), Done.Data().size()), Done.Data().size());
  THostFrameReader Taken;
  ASSERT_TRUE(RingTake(Ring.Data(), Read, Taken));
  EXPECT_EQ(RingUnread(Ring.Data()), 0u);
  THostFrameView Frame{};
  ASSERT_TRUE(Taken.Next(Frame));
  std::uint32_t Position = 0;
  TUnitTestResult Result = tcrTodo;
  DecodeMethodDone(Frame.Payload, Position, Result);
  EXPECT_EQ(Position, 7u);
  EXPECT_EQ(Result, tcrException);
  const std::string Fill(HostRingCapacity, 'x');
  EXPECT_EQ(RingAppend(Ring.Data(), Fill.data(), Fill.size()), HostRingCapacity);
  EXPECT_EQ(RingAppend(Ring.Data(), "y", 1), 0u);
  EXPECT_TRUE(RingTake(Ring.Data(), Read, Taken));
  EXPECT_EQ(RingAppend(Ring.Data(), "y", 1), 1u);
}

// Everything a handler can read of a message.
std::string Whole(const TMessageBase& aMessage) {
  std::string Text = KalvoroTest::Describe(aMessage) + " [" + aMessage.Message() + "]";
  if (aMessage.GetId() == MessageIdCheck)
    Text += " @" + static_cast<const TCheckMessage&>(aMessage).Location();
  return Text;
}

TEST(HostProtocol, KeptMessagesReadAsFreshlyBuiltOnesFrameAfterFrame) {
  auto Check = [](bool aSuccess, std::string aText, std::string aMethod, std::string aFile,
                  unsigned aLine) {
    auto Message = std::make_unique<TCheckMessage>(std::move(aText), "S", "TA", std::move(aMethod));
    Message->SetSuccess(aSuccess);
    Message->SetLocation(std::move(aFile), aLine);
    return std::unique_ptr<TMessageBase>(std::move(Message));
  };
  auto Progress = [](TProgressType aType, std::string aMethod) {
    return std::unique_ptr<TMessageBase>(
        std::make_unique<TProgressMessage>(aType, "S", "TA", std::move(aMethod)));
  };
  // In this order: every text, flag and place changes once while the others
  // stay, and changes back (to empty too).
  std::vector<std::unique_ptr<TMessageBase>> Sent;
  Sent.push_back(Progress(ptMethodStart, "TestOne"));
  Sent.push_back(Check(true, "sum", "", "/src/A.cpp", 10));
  Sent.push_back(Check(true, "sum", "", "/src/A.cpp", 10));
  Sent.push_back(Check(true, "sum", "", "/src/A.cpp", 11));
  Sent.push_back(Check(false, "sum", "TestOne", "/src/B.cpp", 11));
  Sent.push_back(Check(true, "a text longer than any short string keeps", "", "", 0));
  Sent.push_back(std::make_unique<TReportMessage>("report"));
  Sent.push_back(std::make_unique<TReportMessage>(""));
  Sent.push_back(std::make_unique<TExceptionMessage>("S", "TA", "TestOne", "boom"));
  Sent.push_back(Progress(ptMethodFinish, "TestOne"));
  Sent.push_back(Progress(ptMethodStart, "TestTwo"));
  Sent.push_back(Check(false, "sum", "TestTwo", "/src/A.cpp", 10));
  // A method's phases after its first cross as steps (their type and time),
  // read back as the progress messages they stand for; a phase of another
  // scenario, and one back in the first, go whole again.
  const std::size_t FirstStep = Sent.size(); // after TestTwo's start, whole
  Sent.push_back(Progress(ptMethodFinish, "TestTwo"));
  Sent.push_back(Progress(ptExitStart, "TestTwo"));
  Sent.push_back(Progress(ptExitFinish, "TestTwo"));
  Sent.push_back(std::make_unique<TProgressMessage>(ptInitStart, "Other", "TA", "TestTwo"));
  Sent.push_back(Progress(ptInitFinish, "TestTwo"));
  Sent.push_back(Progress(ptMethodStart, "TestTwo"));
  THostFrameWriter Writer;
  std::vector<std::size_t> Sizes;
  for (std::size_t Index = 0; Index < Sent.size(); ++Index) {
    const std::size_t Before = Writer.Size();
    Writer.Message(*Sent[Index], static_cast<std::int64_t>(1000 + Index));
    Sizes.push_back(Writer.Size() - Before);
  }
  EXPECT_LT(Sizes[FirstStep], Sizes[FirstStep - 2]);
  for (const std::size_t Chunk : {std::size_t{1} << 20, std::size_t{3}}) {
    THostMessages Kept;
    std::size_t Index = 0;
    for (const std::string& Payload : Frames(Writer.Data(), Chunk)) {
      ASSERT_LT(Index, Sent.size());
      const THostMessage Decoded = DecodeMessage(Payload);
      EXPECT_EQ(Whole(Kept.Rebuild(Decoded)), Whole(*Sent[Index])) << Index;
      EXPECT_EQ(Whole(*RebuildMessage(Decoded)), Whole(*Sent[Index])) << Index;
      EXPECT_EQ(Decoded.Time, static_cast<std::int64_t>(1000 + Index)) << Index;
      ++Index;
    }
    EXPECT_EQ(Index, Sent.size());
  }
}

// Raw frames: a length, then the kind and payload bytes.
std::string Raw(std::uint32_t aLength, std::string aRest) {
  std::string Frame;
  for (int I = 0; I < 4; ++I)
    Frame.push_back(static_cast<char>((aLength >> (8 * I)) & 0xFF));
  return Frame + aRest;
}

TEST(HostProtocol, GarbledFramesAreRefused) {
  THostFrameWriter Good;
  Good.MethodDone(1, tcrSuccess);
  const std::string Done = Good.Data().substr(5);
  // A report's frame with the id of a progress message.
  Good.Clear();
  Good.Message(TReportMessage("text"), 0);
  std::string Texted = Good.Data();
  Texted[5] = static_cast<char>(MessageIdProgress);
  const struct {
    const char* What;
    std::string Bytes;
  } Cases[] = {
      {"empty frame", Raw(0, "")},
      {"longer than any message", Raw(MaxHostFrame + 1, "\x0b")},
      {"unknown kind", Raw(1, "\x63")},
      {"field past the end", Raw(3, std::string("\x0c\x01\x00", 3))},
      {"bytes after the fields", Raw(7, "\x0c" + Done + "z")},
      {"unknown result", Raw(6, std::string("\x0c\x01\x00\x00\x00\x09", 6))},
      {"text longer than its frame", Raw(5, std::string("\x0f\xff\xff\xff\x7f", 5))},
      {"progress message with a text", Texted},
      {"step before any progress message", Raw(10, std::string("\x13\x07", 2) + std::string(8, 0))},
      {"step with bytes after the fields", Raw(11, std::string("\x13\x07", 2) + std::string(9, 0))},
  };
  for (const auto& Case : Cases) {
    THostFrameReader Reader;
    Reader.Append(Case.Bytes.data(), Case.Bytes.size());
    EXPECT_THROW(
        {
          THostFrameView Frame{};
          ASSERT_TRUE(Reader.Next(Frame));
          if (Frame.Kind == THostFrame::Message) {
            DecodeMessage(Frame.Payload);
          } else if (Frame.Kind == THostFrame::MethodDone) {
            std::uint32_t Position = 0;
            TUnitTestResult Result = tcrTodo;
            DecodeMethodDone(Frame.Payload, Position, Result);
          } else {
            DecodeText(Frame.Payload);
          }
        },
        EHostProtocol)
        << Case.What;
  }
  // A step of a progress type that does not exist, after a good progress
  // message.
  {
    THostFrameWriter Progress;
    Progress.Message(TProgressMessage(ptInitStart, "S", "TA", "TestOne"), 1);
    const std::string Bytes =
        Progress.Data() + Raw(10, std::string("\x13\x63", 2) + std::string(8, 0));
    THostFrameReader Reader;
    Reader.Append(Bytes.data(), Bytes.size());
    THostFrameView Frame{};
    ASSERT_TRUE(Reader.Next(Frame));
    EXPECT_THROW(Reader.Next(Frame), EHostProtocol);
  }
  // A frame that has not arrived whole is waited for, not refused.
  THostFrameReader Reader;
  const std::string Part = Raw(6, "\x0c\x01");
  Reader.Append(Part.data(), Part.size());
  THostFrameView Frame{};
  EXPECT_FALSE(Reader.Next(Frame));

  // A ring whose numbers do not add up (behind what was read, or more than
  // the ring holds) is refused and nothing of it is taken.
  TRingMemory Ring;
  for (const std::uint64_t Written : {std::uint64_t{9}, std::uint64_t{10 + HostRingCapacity + 1}}) {
    RingHeader(Ring.Data())->Written = Written;
    std::uint64_t Read = 10;
    THostFrameReader Taken;
    EXPECT_FALSE(RingTake(Ring.Data(), Read, Taken)) << Written;
    EXPECT_EQ(Read, 10u);
    EXPECT_EQ(Taken.Pending(), 0u);
  }
}

TEST(HostProtocol, RandomBytesNeverCrashTheReader) {
  std::mt19937 Random(20261208);
  THostFrameWriter Seed;
  Seed.Hello();
  // A phase whole, then one as a step.
  Seed.Message(TProgressMessage(ptInitStart, "S", "TA", "TestAdd"), 5);
  Seed.Message(TProgressMessage(ptInitFinish, "S", "TA", "TestAdd"), 0);
  Seed.MethodDone(3, tcrException);
  Seed.LoadFailed("no such file");
  WriteListRequest(Seed, {HostProtocolVersion, "Tests.so", "/tmp/project"});
  THostListing Listing;
  Listing.Listed = true;
  Listing.UnitTests = {{"TA", {"TestAdd", "TestSub"}}};
  Listing.NameChanges = {{"T|B", ""}};
  WriteListing(Seed, Listing);
  for (int Round = 0; Round < 2000; ++Round) {
    std::string Bytes = Seed.Data();
    // Flip, cut and grow the valid frames at random.
    for (int Change = Random() % 8; Change >= 0; --Change) {
      const std::size_t At = Random() % (Bytes.size() + 1);
      switch (Random() % 3) {
      case 0:
        if (At < Bytes.size())
          Bytes[At] = static_cast<char>(Random());
        break;
      case 1:
        Bytes.resize(At);
        break;
      default:
        Bytes.insert(At, 1, static_cast<char>(Random()));
      }
    }
    EXPECT_EQ(KalvoroFuzz::CheckHostBytes(Bytes, 1 + Random() % 9), "") << Round;
  }
}

} // namespace
} // namespace Kalvoro
