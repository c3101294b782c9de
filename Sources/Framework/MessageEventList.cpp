#include "MessageEventList.h"

#include "Interruption.h"

#include <algorithm>
#include <array>

namespace Kalvoro {

void TMessageEventList::AddEventHandler(const TMessageEvent& aHandler) {
  if (!aHandler.HasMethod())
    return;
  FEventHandlers.emplace_back(aHandler);
  FConsumed |= aHandler.Consumes;
  PublishConsumed();
}

void TMessageEventList::RemoveEventHandler(const TMessageEvent& aHandler) {
  if (!aHandler.HasMethod())
    return;
  const int Index = FindEventHandler(aHandler);
  if (Index < 0)
    return;
  FEventHandlers.erase(FEventHandlers.begin() + Index);
  UpdateConsumed();
}

int TMessageEventList::FindEventHandler(const TMessageEvent& aHandler) const {
  for (std::size_t I = 0; I < FEventHandlers.size(); ++I)
    if (FEventHandlers[I].Event().Code == aHandler.Code)
      return static_cast<int>(I);
  return -1;
}

void TMessageEventList::FireAllEventHandlers(std::unique_ptr<TCustomMessage> aMessage) {
  // The message is destroyed when this frame is left, whatever a handler does;
  // an interruption that waits for the delivery waits for that too.
  if (!aMessage)
    return;
  int& Deferred = InterruptionDetail::Deferred;
  ++Deferred;
  try {
    Deliver(*aMessage);
  } catch (...) {
    --Deferred;
    throw;
  }
  aMessage.reset();
  if (--Deferred == 0 && InterruptionDetail::Waiting.load(std::memory_order_relaxed))
    InterruptionDetail::DeliverWaiting();
}

void TMessageEventList::Deliver(const TCustomMessage& aMessage) {
  // Deliver over a snapshot, so that handlers may add or remove registrations
  // while a message is on its way. The usual handful of handlers is copied to
  // the stack; only a long list goes to the heap.
  constexpr std::size_t InlineCount = 8;
  const std::size_t Count = FEventHandlers.size();
  if (Count == 0)
    return;
  std::array<TMessageEvent, InlineCount> Inline;
  std::vector<TMessageEvent> Spill;
  TMessageEvent* Snapshot = Inline.data();
  if (Count > InlineCount) {
    Spill.reserve(Count);
    for (const auto& Entry : FEventHandlers)
      Spill.push_back(Entry.Event());
    Snapshot = Spill.data();
  } else {
    for (std::size_t I = 0; I < Count; ++I)
      Inline[I] = FEventHandlers[I].Event();
  }
  // An interruption waits until every handler has had the message, so that
  // no sink is left with half a line.
  int& Deferred = InterruptionDetail::Deferred;
  ++Deferred;
  try {
    for (std::size_t I = 0; I < Count; ++I)
      if (Snapshot[I].HasMethod())
        Snapshot[I].Code(Snapshot[I].Object, this, aMessage);
  } catch (...) {
    --Deferred;
    throw;
  }
  if (--Deferred == 0 && InterruptionDetail::Waiting.load(std::memory_order_relaxed))
    InterruptionDetail::DeliverWaiting();
}

void TMessageEventList::CopyList(const TMessageEventList* aSource,
                                 TMessageEventList* aDestination) {
  KALVORO_ASSERT(aSource != nullptr);
  KALVORO_ASSERT(aDestination != nullptr);
  aDestination->FEventHandlers.reserve(aDestination->FEventHandlers.size() +
                                       aSource->FEventHandlers.size());
  for (const auto& Entry : aSource->FEventHandlers) {
    aDestination->FEventHandlers.push_back(Entry);
    aDestination->FConsumed |= Entry.Event().Consumes;
  }
  aDestination->PublishConsumed();
}

const TMessageEventContainer& TMessageEventList::GetItem(int aIndex) const {
  if (aIndex < 0 || aIndex >= Count())
    ListIndexError(aIndex);
  return FEventHandlers[static_cast<std::size_t>(aIndex)];
}

void TMessageEventList::Clear() {
  FEventHandlers.clear();
  FConsumed = 0;
  PublishConsumed();
}

void TMessageEventList::UpdateConsumed() {
  FConsumed = 0;
  for (const auto& Entry : FEventHandlers)
    FConsumed |= Entry.Event().Consumes;
  PublishConsumed();
}

void TMessageEventList::PublishConsumed() {
  for (const TConsumedFlag& Entry : FConsumedFlags)
    *Entry.Flag = (FConsumed & Entry.Ids) != 0 ? 1 : 0;
}

void TMessageEventList::AddConsumedFlag(unsigned char* aFlag, std::uint32_t aIds) {
  KALVORO_ASSERT(aFlag != nullptr);
  FConsumedFlags.push_back({aFlag, aIds});
  *aFlag = (FConsumed & aIds) != 0 ? 1 : 0;
}

void TMessageEventList::RemoveConsumedFlag(unsigned char* aFlag) {
  const auto Found =
      std::find_if(FConsumedFlags.begin(), FConsumedFlags.end(),
                   [aFlag](const TConsumedFlag& aEntry) { return aEntry.Flag == aFlag; });
  if (Found != FConsumedFlags.end())
    FConsumedFlags.erase(Found);
}

} // namespace Kalvoro
