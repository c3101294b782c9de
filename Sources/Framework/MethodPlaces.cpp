#include "MethodPlaces.h"

#include "UnitTestMethod.h"

#include <mutex>
#include <new>
#include <vector>

namespace Kalvoro {

namespace {

union TPlace {
  TPlace* Next; // while the place is free
  alignas(TUnitTestMethod) unsigned char Object[sizeof(TUnitTestMethod)];
};

constexpr std::size_t PlacesPerBlock = 512;

std::mutex PlacesLock;
TPlace* FreePlaces = nullptr;

} // namespace

void* NewMethodPlace() {
  const std::lock_guard<std::mutex> Lock(PlacesLock);
  if (FreePlaces == nullptr) {
    // Kept for ever, as the places in them are: also a leak checker at exit
    // finds every block from here.
    static auto* Blocks = new std::vector<TPlace*>;
    Blocks->reserve(Blocks->size() + 1);
    auto* Block = new TPlace[PlacesPerBlock];
    Blocks->push_back(Block);
    for (std::size_t Index = PlacesPerBlock; Index-- > 0;) {
      Block[Index].Next = FreePlaces;
      FreePlaces = &Block[Index];
    }
  }
  TPlace* Place = FreePlaces;
  FreePlaces = Place->Next;
  return Place;
}

void FreeMethodPlace(void* aPlace) {
  auto* Place = static_cast<TPlace*>(aPlace);
  const std::lock_guard<std::mutex> Lock(PlacesLock);
  Place->Next = FreePlaces;
  FreePlaces = Place;
}

} // namespace Kalvoro
