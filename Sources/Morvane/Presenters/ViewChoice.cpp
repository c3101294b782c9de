#include "ViewChoice.h"

#include <algorithm>

namespace Kalvoro {

void TViewChoice::Show(TMainView aView) {
  if (aView == FShown)
    return;
  if (FShown != mvNone)
    FHost.LeaveView(FShown);
  FShown = aView;
  FHost.EnterView(aView);
}

void TViewChoice::PutAside() {
  FPutAside = FShown;
  Show(mvNone);
}

void TViewChoice::Restore() {
  Show(FPutAside);
}

void TViewChoice::ModulesReloaded() {
  if (FShown != mvNone && FShown != mvResults)
    FHost.RenewView(FShown);
}

std::vector<TMenuPlace> MergedMenus(const std::vector<int>& aOwnGroups,
                                    const std::vector<int>& aViewGroups) {
  struct TEntry {
    TMenuPlace Place;
    int Group;
  };
  std::vector<TEntry> Entries;
  for (std::size_t Own = 0; Own < aOwnGroups.size(); ++Own)
    if (std::find(aViewGroups.begin(), aViewGroups.end(), aOwnGroups[Own]) == aViewGroups.end())
      Entries.push_back({{false, static_cast<int>(Own)}, aOwnGroups[Own]});
  for (std::size_t View = 0; View < aViewGroups.size(); ++View)
    Entries.push_back({{true, static_cast<int>(View)}, aViewGroups[View]});
  std::stable_sort(Entries.begin(), Entries.end(), [](const TEntry& aLeft, const TEntry& aRight) {
    return aLeft.Group < aRight.Group;
  });
  std::vector<TMenuPlace> Places;
  for (const TEntry& Entry : Entries)
    Places.push_back(Entry.Place);
  return Places;
}

} // namespace Kalvoro
