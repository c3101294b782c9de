// The messages that the runner fires for a host's message frames, rebuilt
// by one rule: a fresh message for each frame (RebuildMessage), or one kept
// from one frame to the next (THostMessages): a frame then costs no
// allocation, and a text is copied only when it differs from the one that
// the message already holds. A million passing checks of one place are one
// message object, updated by comparing its texts.
#pragma once

#include "HostProtocol.h"

#include <array>
#include <memory>

namespace Kalvoro {

// The message that a decoded one stands for, built as the framework builds it.
std::unique_ptr<TMessageBase> RebuildMessage(const THostMessage& aMessage);

class THostMessages {
public:
  THostMessages() = default;
  THostMessages(const THostMessages&) = delete;
  THostMessages& operator=(const THostMessages&) = delete;

  // The message that aMessage stands for, equal to what RebuildMessage
  // builds; it holds its texts until the next call.
  const TMessageBase& Rebuild(const THostMessage& aMessage);

private:
  // A report, a check, an exception, then one per progress type.
  std::array<std::unique_ptr<TMessageBase>, 3 + ptExitFinish + 1> FKept;
};

} // namespace Kalvoro
