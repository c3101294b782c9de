// Rebuilt modules picked up by themselves: which files and folders to watch,
// which change means a module was rebuilt (a linker writes the file in place,
// deletes and recreates it, or renames a temporary file over it), when the
// new file is quiet, and the reload: the module listed again by a fresh host
// with its scenarios and enabled states kept and the last results kept but
// out of date. The view owns the file watcher and the timer and forwards
// their events; the decisions are all here.
#pragma once

#include "FileLook.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <set>
#include <vector>

namespace Kalvoro {

class TModule;
class TProject;
class TResultsPresenter;

// What a reload did, for the status bar and the views.
struct TReloadReport {
  std::vector<TModule*> Modules; // listed again, in the project's order
  QStringList Errors;            // one line per module that did not list
  QString Status;                // what the status bar says
};

// What the watch asks of the view.
class IRebuildView {
public:
  virtual ~IRebuildView() = default;
  // Whether a run, a modal dialog or a command is under way: a reload waits.
  virtual bool Busy() const = 0;
  // The files and folders to watch from now on (all others are dropped).
  virtual void Watch(const QStringList& aPaths) = 0;
  // Calls Look at intervals until Waiting() is false.
  virtual void StartLooking() = 0;
  // A reload starts (true) or ends (false). It lists while the event loop
  // turns: meanwhile no command may run or read the unit tests it replaces.
  virtual void Reloading(bool aStarts) = 0;
  // After a reload: the views show the project again.
  virtual void Reloaded(const TReloadReport& aReport) = 0;
};

class TRebuildWatch {
public:
  explicit TRebuildWatch(IRebuildView& aView) : FView(aView) {}
  TRebuildWatch(const TRebuildWatch&) = delete;
  TRebuildWatch& operator=(const TRebuildWatch&) = delete;

  // The project's modules are watched (null: nothing is).
  void SetProject(TProject* aProject);
  // The results that a reload keeps out of date (not owned; may be null).
  void SetResults(TResultsPresenter* aResults) { FResults = aResults; }
  // The modules were loaded, unloaded, added or removed: the watched paths
  // follow, and a module whose file is no longer the listed one waits to be
  // listed again.
  void ModulesChanged();

  // The watcher's event for a file or a folder.
  void PathChanged(const QString& aPath);
  // The timer's look at the changed files; reloads once all are quiet and
  // nothing is under way.
  void Look();
  // Whether changed modules wait to be quiet or for a reload.
  bool Waiting() const { return !FPending.empty(); }

  // Runs aRun (a run again after a reload); files that change meanwhile (a
  // test that writes its own module) start no further reload.
  void RunQuietly(const std::function<void()>& aRun);

private:
  struct TPending {
    TFileLook Last;
    bool Quiet = false;
  };
  // The modules that a rebuild concerns: loaded ones, and those whose reload
  // failed (a further rebuild may mend them).
  std::vector<TModule*> Watched() const;
  // Whether the file is no longer the one known for the module.
  bool Changed(const TModule& aModule) const;
  void Reload();
  // Lists a rebuilt module again, its unit tests kept in their scenarios.
  void Relist(TModule& aModule);
  // Watches the modules' files and folders; files that changed before they
  // were watched wait to be quiet as if an event had come.
  void UpdateWatched();

  IRebuildView& FView;
  TProject* FProject = nullptr;
  TResultsPresenter* FResults = nullptr;
  std::map<TModule*, TPending> FPending;
  // Modules whose reload failed: their error is shown once, until the file
  // changes again.
  std::set<TModule*> FFailed;
  // The file as last taken where it is not the one listed: after a failed
  // reload, or changed by a run that a reload started.
  std::map<TModule*, TFileLook> FKnown;
  bool FQuiet = false;
  // A reload lists in hosts while the event loop turns: meanwhile events and
  // looks wait (the reload's end takes in what changed).
  bool FReloading = false;
};

} // namespace Kalvoro
