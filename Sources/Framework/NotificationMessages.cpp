#include "NotificationMessages.h"

namespace Kalvoro {

std::int32_t TReportMessage::GetId() const {
  return MessageIdReport;
}
std::int32_t TCheckMessage::GetId() const {
  return MessageIdCheck;
}
std::string TCheckMessage::Location() const {
  if (FFileName.empty())
    return {};
  return FFileName + ":" + std::to_string(FLine);
}
std::int32_t TExceptionMessage::GetId() const {
  return MessageIdException;
}
std::int32_t TProgressMessage::GetId() const {
  return MessageIdProgress;
}

} // namespace Kalvoro
