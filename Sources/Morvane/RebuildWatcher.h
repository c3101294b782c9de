// The main window's watch over its modules' files: a file watcher and the
// timers of the rebuild watch (Presenters/RebuildWatch.h), which decides;
// after a reload the views show the project again, the status bar says what
// happened, and the last run runs again where the results view asks for it.
#pragma once

#include "RebuildWatch.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>

namespace Kalvoro {

class TProject;
class TResultsFrame;

// What the watcher needs of the main window.
struct TRebuildHost {
  std::function<TProject*()> Project;
  // Shows the project again in the active view (after a reload).
  std::function<void()> RefreshViews;
  std::function<void(const QString&)> SetStatus;
  // Makes the results view the active one (before a run again).
  std::function<void()> ShowResults;
};

class TRebuildWatcher : public QObject, private IRebuildView {
  Q_OBJECT

public:
  TRebuildWatcher(TRebuildHost aHost, TResultsFrame& aResults, QObject* aParent = nullptr);
  ~TRebuildWatcher() override;

  // The project is replaced or closed: nothing of it is watched any more.
  void Forget() {
    FProject = nullptr;
    FWatch.SetProject(nullptr);
  }
  QStringList WatchedPaths() const;

private:
  // IRebuildView
  bool Busy() const override;
  void Watch(const QStringList& aPaths) override;
  void StartLooking() override;
  void Reloading(bool aStarts) override;
  void Reloaded(const TReloadReport& aReport) override;

  // Follows the window's project and its modules.
  void Follow();
  void RunAgain();

  TRebuildHost FHost;
  TResultsFrame& FResults;
  TRebuildWatch FWatch;
  TProject* FProject = nullptr;
  QFileSystemWatcher FWatcher;
  QTimer FLooks;
  QTimer FFollow;
};

} // namespace Kalvoro
