// Run messages and the observer list that delivers them.
#pragma once

#include "Exception.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Kalvoro {

// A message fired while a scenario runs. Receivers tell messages apart by the
// id alone: the class may come from another module's copy of this code.
class KALVORO_API TCustomMessage {
public:
  virtual ~TCustomMessage() = default;
  virtual std::int32_t GetId() const = 0;
};

class TMessageEventList;

// Bits for the message ids 100 to 103, used to say which messages a handler
// consumes. Delivery ignores them; senders use them to skip building messages
// that no handler wants.
inline constexpr std::uint32_t MessageIdBit(std::int32_t aId) {
  return (aId >= 100 && aId < 131) ? (1u << (aId - 100)) : 0u;
}
// The bit of id 101 stands for every check. A handler that wants only the
// checks that failed (an error list) says this one instead, so that passing
// checks are not built for it.
inline constexpr std::uint32_t FailedChecksBit = 1u << 31;
inline constexpr std::uint32_t AllMessageIds = 0xFFFFFFFFu;

// A handler: a function together with the object that it is bound to. Identity
// (for FindEventHandler and RemoveEventHandler) is the function alone.
struct TMessageEvent {
  using TCode = void (*)(void* aObject, TMessageEventList* aSender, const TCustomMessage& aMessage);

  void* Object = nullptr;
  TCode Code = nullptr;
  std::uint32_t Consumes = AllMessageIds;

  bool HasMethod() const { return Code != nullptr; }
};

// Binds a member function `void T::F(TMessageEventList*, const TCustomMessage&)`
// to an object: MakeMessageEvent<&T::F>(this).
template <auto aMember, class T>
TMessageEvent MakeMessageEvent(T* aObject, std::uint32_t aConsumes = AllMessageIds) {
  TMessageEvent Event;
  Event.Object = aObject;
  Event.Code = [](void* aSelf, TMessageEventList* aSender, const TCustomMessage& aMessage) {
    (static_cast<T*>(aSelf)->*aMember)(aSender, aMessage);
  };
  Event.Consumes = aConsumes;
  return Event;
}

// One entry of the list.
class KALVORO_API TMessageEventContainer {
public:
  explicit TMessageEventContainer(const TMessageEvent& aEvent) : FEvent(aEvent) {}
  TMessageEventContainer(const TMessageEventContainer& aOther) = default;
  TMessageEventContainer& operator=(const TMessageEventContainer& aOther) = default;

  const TMessageEvent& Event() const { return FEvent; }

private:
  TMessageEvent FEvent;
};

class KALVORO_API TMessageEventList {
public:
  TMessageEventList() = default;
  TMessageEventList(const TMessageEventList&) = delete;
  TMessageEventList& operator=(const TMessageEventList&) = delete;

  void AddEventHandler(const TMessageEvent& aHandler);
  void RemoveEventHandler(const TMessageEvent& aHandler);
  int FindEventHandler(const TMessageEvent& aHandler) const;

  // Delivers the message to every handler registered when the call starts, in
  // registration order, then destroys it, also when a handler raises.
  void FireAllEventHandlers(std::unique_ptr<TCustomMessage> aMessage);
  // The same for a message that the caller owns (and destroys afterwards).
  void Deliver(const TCustomMessage& aMessage);

  // Appends a copy of every entry of aSource to aDestination.
  static void CopyList(const TMessageEventList* aSource, TMessageEventList* aDestination);

  int Count() const { return static_cast<int>(FEventHandlers.size()); }
  const TMessageEventContainer& GetItem(int aIndex) const;
  void Clear();

  // True when some registered handler consumes messages with this id (for
  // checks: passing ones too).
  bool Consumes(std::int32_t aId) const {
    const std::uint32_t Bit = MessageIdBit(aId);
    return Bit == 0 ? !FEventHandlers.empty() : (FConsumed & Bit) != 0;
  }
  // True when some registered handler consumes failed checks.
  bool ConsumesFailedChecks() const {
    return (FConsumed & (MessageIdBit(101) | FailedChecksBit)) != 0;
  }
  // The bits of every registered handler's consumed ids.
  std::uint32_t ConsumedIds() const { return FConsumed; }
  // A byte set to 1 while a registered handler consumes one of aIds and to 0
  // otherwise, rewritten whenever the handlers change: a sender on a hot path
  // tests its own byte, without a call or a pointer. Its owner removes it
  // before the byte goes.
  void AddConsumedFlag(unsigned char* aFlag, std::uint32_t aIds);
  void RemoveConsumedFlag(unsigned char* aFlag);

private:
  void UpdateConsumed();
  void PublishConsumed();

  std::vector<TMessageEventContainer> FEventHandlers;
  std::uint32_t FConsumed = 0;
  struct TConsumedFlag {
    unsigned char* Flag;
    std::uint32_t Ids;
  };
  std::vector<TConsumedFlag> FConsumedFlags;
};

} // namespace Kalvoro
