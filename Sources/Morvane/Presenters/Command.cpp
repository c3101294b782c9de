#include "Command.h"

#include "Exception.h"

namespace Kalvoro {

bool TCommand::Run() const {
  if (!Enabled())
    return false;
  if (Effect)
    Effect();
  return true;
}

TCommand TCommand::Separator(unsigned aPlaces) {
  TCommand Command;
  Command.Places = aPlaces;
  return Command;
}

const TCommand& FindCommand(const TCommandList& aCommands, const QString& aName) {
  for (const TCommand& Command : aCommands)
    if (!Command.IsSeparator() && Command.Name == aName)
      return Command;
  AssertionFailed("Sources/Morvane/Presenters/Command.cpp", __LINE__);
}

} // namespace Kalvoro
