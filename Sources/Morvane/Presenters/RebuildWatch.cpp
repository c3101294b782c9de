#include "RebuildWatch.h"

#include "ListedIdentity.h"
#include "LoadErrors.h"
#include "Paths.h"
#include "Project.h"
#include "ResultsPresenter.h"

#include <QDir>
#include <QFileInfo>

#include <exception>
#include <utility>

namespace Kalvoro {

namespace {

QString PathOf(const TModule& aModule) {
  return FromPath(aModule.LoadPath());
}

QString FolderOf(const TModule& aModule) {
  return QFileInfo(PathOf(aModule)).absolutePath();
}

QString NameOf(const TModule& aModule) {
  return FromPath(aModule.GetFileName());
}

QString FirstLine(const QString& aText) {
  return aText.section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

void TRebuildWatch::SetProject(TProject* aProject) {
  FProject = aProject;
  FPending.clear();
  FFailed.clear();
  FKnown.clear();
  UpdateWatched();
}

void TRebuildWatch::ModulesChanged() {
  if (FReloading)
    return;
  // Modules that are gone, or loaded again by hand, wait no more.
  const std::vector<TModule*> Now = Watched();
  const std::set<TModule*> Kept(Now.begin(), Now.end());
  std::erase_if(FPending, [&](const auto& aEntry) {
    return !Kept.contains(aEntry.first) || !Changed(*aEntry.first);
  });
  // A module loaded or unloaded by hand is known by its listing again.
  std::erase_if(FFailed, [&](TModule* aModule) {
    return !Kept.contains(aModule) || aModule->State() != msLoadFailed;
  });
  std::erase_if(FKnown, [&](const auto& aEntry) { return !Kept.contains(aEntry.first); });
  UpdateWatched();
}

std::vector<TModule*> TRebuildWatch::Watched() const {
  std::vector<TModule*> Result;
  if (FProject == nullptr)
    return Result;
  for (TModule* Module : FProject->Modules())
    if (Module->State() == msLoadSuccess || FFailed.contains(Module))
      Result.push_back(Module);
  return Result;
}

bool TRebuildWatch::Changed(const TModule& aModule) const {
  if (const auto Known = FKnown.find(const_cast<TModule*>(&aModule)); Known != FKnown.end())
    return LookAt(PathOf(aModule)) != Known->second;
  if (aModule.Listed())
    return ListingOutOfDate(aModule);
  // Loaded here (no lister): the file as its library loaded.
  TModuleFileIdentity Now;
  return !ModuleFileIdentity(aModule.LoadPath(), Now) || !(Now == aModule.LoadedIdentity());
}

void TRebuildWatch::UpdateWatched() {
  // The folders too: a file deleted and made again, or renamed over, is a
  // new file that a watcher of the old one does not see.
  QStringList Paths;
  bool Started = false;
  for (TModule* Module : Watched()) {
    if (QFileInfo::exists(PathOf(*Module)))
      Paths << PathOf(*Module);
    Paths << FolderOf(*Module);
    if (!FQuiet && !FReloading && !FPending.contains(Module) && Changed(*Module)) {
      FPending[Module] = TPending{};
      Started = true;
    }
  }
  Paths.removeDuplicates();
  FView.Watch(Paths);
  if (Started)
    FView.StartLooking();
}

void TRebuildWatch::PathChanged(const QString& aPath) {
  if (FQuiet || FReloading || FProject == nullptr)
    return;
  const QString Changed = QFileInfo(aPath).absoluteFilePath();
  bool Started = false;
  for (TModule* Module : Watched()) {
    const bool Concerned = QFileInfo(PathOf(*Module)).absoluteFilePath() == Changed ||
                           FolderOf(*Module) == QDir::cleanPath(Changed);
    if (!Concerned || FPending.contains(Module) || !this->Changed(*Module))
      continue;
    FPending[Module] = TPending{};
    Started = true;
  }
  if (Started)
    FView.StartLooking();
  // A file that went away and came back is watched again.
  UpdateWatched();
}

void TRebuildWatch::Look() {
  if (FProject == nullptr || FReloading)
    return;
  bool AllQuiet = true;
  for (auto& [Module, Pending] : FPending) {
    const TFileLook Now = LookAt(PathOf(*Module));
    Pending.Quiet = Now.Exists && Now.WholeHeader && Now == Pending.Last;
    Pending.Last = Now;
    AllQuiet = AllQuiet && Pending.Quiet;
  }
  // Modules rebuilt together are one reload, once every one is quiet.
  if (AllQuiet && !FPending.empty() && !FView.Busy())
    Reload();
}

void TRebuildWatch::Reload() {
  // Ends the reload however it ends: the flag and the view's hold.
  struct TReloading {
    bool& Flag;
    IRebuildView& View;
    TReloading(bool& aFlag, IRebuildView& aView) : Flag(aFlag), View(aView) {
      Flag = true;
      View.Reloading(true);
    }
    void End() {
      if (!Flag)
        return;
      Flag = false;
      View.Reloading(false);
    }
    ~TReloading() { End(); }
  } Reloading(FReloading, FView);
  TReloadReport Report;
  if (FResults != nullptr)
    FResults->KeepResults(*FProject);
  for (TModule* Module : FProject->Modules()) {
    const auto Pending = FPending.find(Module);
    if (Pending == FPending.end())
      continue;
    const TFileLook Look = Pending->second.Last;
    FFailed.erase(Module);
    FKnown.erase(Module);
    QString Error;
    try {
      Relist(*Module);
    } catch (const std::exception& Failure) {
      Error = FirstLine(QString::fromStdString(Failure.what()));
    }
    if (Module->State() != msLoadSuccess) {
      // The loader's own reason says most; the error names the file.
      if (const QString Reason = FirstLine(QString::fromStdString(Module->LoaderError()));
          !Reason.isEmpty())
        Error = Reason;
      else
        // The module's row tells it too.
        Module->FailListing(msLoadFailed, Error.toStdString());
      FFailed.insert(Module);
      FKnown[Module] = Look;
      Report.Errors << QStringLiteral("%1: %2").arg(NameOf(*Module), Error);
    } else {
      Report.Modules.push_back(Module);
    }
  }
  FPending.clear();
  FProject->SetModified();
  if (FResults != nullptr)
    FResults->RestoreResults(*FProject);
  QStringList Names;
  for (const TModule* Module : Report.Modules)
    Names << NameOf(*Module);
  if (!Names.isEmpty())
    Report.Status = QStringLiteral("Rebuilt and listed again: %1; the results are out of date")
                        .arg(Names.join(QStringLiteral(", ")));
  if (!Report.Errors.isEmpty())
    Report.Status = (Report.Status.isEmpty() ? QString() : Report.Status + QStringLiteral(". ")) +
                    QStringLiteral("A rebuilt module does not list: ") +
                    Report.Errors.join(QStringLiteral("; "));
  Reloading.End();
  UpdateWatched();
  FView.Reloaded(Report);
}

void TRebuildWatch::Relist(TModule& aModule) {
  // The hosts that hold the old file end; the listing is a fresh host's.
  if (aModule.Listed()) {
    // The new descriptions take the places of the old ones in their
    // scenarios; lines kept for unit tests that a rebuild before took away
    // place those that come back.
    std::vector<std::string> Returning;
    if (!RelistNamingModule(aModule, Returning) || Returning.empty())
      return;
    std::vector<std::string> Kept = std::exchange(aModule.Assignments(), std::move(Returning));
    std::string Discarded;
    try {
      FProject->LoadAssignments(&aModule, Discarded);
    } catch (...) {
      aModule.Assignments() = std::move(Kept);
      throw;
    }
    aModule.Assignments() = std::move(Kept);
    return;
  }
  // A module whose last reload failed: its assignment lines put the unit
  // tests back where they were.
  aModule.UnloadModule();
  if (LoadNamingModule(aModule)) {
    std::string Discarded;
    FProject->LoadAssignments(&aModule, Discarded);
  }
}

void TRebuildWatch::RunQuietly(const std::function<void()>& aRun) {
  FQuiet = true;
  const auto Done = [this] {
    FQuiet = false;
    // What the run did to the files is the state known from now on.
    FPending.clear();
    for (TModule* Module : Watched())
      if (Changed(*Module))
        FKnown[Module] = LookAt(PathOf(*Module));
  };
  try {
    aRun();
  } catch (...) {
    Done();
    throw;
  }
  Done();
}

} // namespace Kalvoro
