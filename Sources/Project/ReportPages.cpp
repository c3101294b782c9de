#include "Project.h"

namespace Kalvoro {

const char* PageKey(TPageKind aKind) {
  static constexpr const char* Keys[] = {"Summary", "Log", "Error"};
  return Keys[aKind];
}

TFileInfo::TFileInfo(TProject* aProject) : FProject(aProject) {
  KALVORO_ASSERT(aProject != nullptr);
  const std::string Directory = ExecutableDirectory();
  for (TPageKind Kind : PageKinds)
    FPages[Kind] = {true, Directory + PageKey(Kind) + ".txt"};
}

void TFileInfo::SetEnabled(TPageKind aKind, bool aValue) {
  FPages[aKind].Enabled = aValue;
  FProject->SetModified();
}

void TFileInfo::SetFileName(TPageKind aKind, std::string aValue) {
  FPages[aKind].FileName = std::move(aValue);
  FProject->SetModified();
}

} // namespace Kalvoro
