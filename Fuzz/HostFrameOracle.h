// What must hold for any bytes that a run host sends: the frame reader hands
// out whole frames or raises EHostProtocol, never crashes or reads past its
// input, and every frame that decodes encodes back to the same bytes. Shared
// by the fuzz target and the unit test that replays seeds of it.
#pragma once

#include "HostListing.h"
#include "HostMessages.h"
#include "HostProtocol.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace KalvoroFuzz {

// Empty when the bytes behaved, else what went wrong. aChunk splits the
// input as a socket might.
inline std::string CheckHostBytes(std::string_view aData, std::size_t aChunk) {
  using namespace Kalvoro;
  THostFrameReader Reader;
  try {
    for (std::size_t Start = 0; Start < aData.size(); Start += aChunk) {
      const std::string_view Piece = aData.substr(Start, aChunk);
      Reader.Append(Piece.data(), Piece.size());
      THostFrameView Frame{};
      while (Reader.Next(Frame)) {
        THostFrameWriter Again;
        switch (Frame.Kind) {
        case THostFrame::Plan:
          Again.Plan(DecodePlan(Frame.Payload));
          break;
        case THostFrame::Hello:
          if (DecodeHello(Frame.Payload) != HostProtocolVersion)
            continue;
          Again.Hello();
          break;
        case THostFrame::Message: {
          const THostMessage Message = DecodeMessage(Frame.Payload);
          const auto Rebuilt = RebuildMessage(Message);
          Again.Message(*Rebuilt, Message.Time);
          // Fields that a kind of message does not carry are not sent again.
          const THostMessage Back = DecodeMessage(std::string_view(Again.Data()).substr(5));
          if (Back.Text != Message.Text || Back.UnitTestName != Message.UnitTestName ||
              Back.MethodName != Message.MethodName || Back.Id != Message.Id)
            return "a message does not survive its rebuilding";
          continue;
        }
        case THostFrame::MethodDone: {
          std::uint32_t Position = 0;
          TUnitTestResult Result = tcrTodo;
          DecodeMethodDone(Frame.Payload, Position, Result);
          Again.MethodDone(Position, Result);
          break;
        }
        case THostFrame::LoadFailed:
          Again.LoadFailed(DecodeText(Frame.Payload));
          break;
        case THostFrame::List:
          WriteListRequest(Again, DecodeListRequest(Frame.Payload));
          break;
        case THostFrame::Listing:
          WriteListing(Again, DecodeListing(Frame.Payload));
          break;
        case THostFrame::Output: {
          std::uint64_t Output = 0;
          std::uint64_t Error = 0;
          DecodeOutput(Frame.Payload, Output, Error);
          Again.Output(Output, Error);
          break;
        }
        case THostFrame::Dropped:
          Again.Dropped(DecodeDropped(Frame.Payload));
          break;
        default:
          continue; // the frames without fields
        }
        if (std::string_view(Again.Data()).substr(5) != Frame.Payload)
          return "a frame does not encode back to its bytes";
      }
    }
  } catch (const EHostProtocol&) {
    // A garbled frame is refused: what the runner takes for the host's death.
  }
  return {};
}

} // namespace KalvoroFuzz
