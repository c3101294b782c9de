// The messages that the runner fires for a host's message frames, kept from
// one frame to the next: a frame costs no allocation, and a text is copied
// only when it differs from the one that the message already holds. A
// million passing checks of one place are one message object, updated by
// comparing its texts.
#pragma once

#include "HostProtocol.h"

#include <vector>

namespace Kalvoro {

class THostMessages {
public:
  THostMessages();
  THostMessages(const THostMessages&) = delete;
  THostMessages& operator=(const THostMessages&) = delete;

  // The message that aMessage stands for, equal to what RebuildMessage
  // builds; it holds its texts until the next call.
  const TMessageBase& Rebuild(const THostMessage& aMessage);

private:
  TReportMessage FReport;
  TCheckMessage FCheck;
  TExceptionMessage FException;
  std::vector<TProgressMessage> FProgress; // one per progress type
};

} // namespace Kalvoro
