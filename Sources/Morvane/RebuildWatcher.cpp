#include "RebuildWatcher.h"

#include "Actions.h"
#include "Application.h"
#include "FResults.h"

#include <QApplication>

namespace Kalvoro {

namespace {

// How often a changed file is looked at until it is quiet, and how often the
// watched files follow the project's modules (loaded, unloaded, added).
constexpr int LookInterval = 150;
constexpr int FollowInterval = 1000;

} // namespace

TRebuildWatcher::TRebuildWatcher(TRebuildHost aHost, TResultsFrame& aResults, QObject* aParent)
    : QObject(aParent), FHost(std::move(aHost)), FResults(aResults), FWatch(*this) {
  FWatch.SetResults(&FResults.Presenter());
  const auto Changed = [this](const QString& aPath) {
    Follow();
    FWatch.PathChanged(aPath);
  };
  connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, Changed);
  connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, Changed);
  FLooks.setInterval(LookInterval);
  connect(&FLooks, &QTimer::timeout, this, [this] {
    Follow();
    RunGuarded([&] { FWatch.Look(); });
    if (!FWatch.Waiting())
      FLooks.stop();
  });
  FFollow.setInterval(FollowInterval);
  connect(&FFollow, &QTimer::timeout, this, [this] {
    if (!Busy())
      Follow();
  });
  FFollow.start();
}

TRebuildWatcher::~TRebuildWatcher() = default;

QStringList TRebuildWatcher::WatchedPaths() const {
  return FWatcher.files() + FWatcher.directories();
}

void TRebuildWatcher::Follow() {
  TProject* Project = FHost.Project();
  if (Project != FProject) {
    FProject = Project;
    FWatch.SetProject(Project);
  } else if (!Busy()) {
    FWatch.ModulesChanged();
  }
}

bool TRebuildWatcher::Busy() const {
  return TAction::UnderWay() || QApplication::activeModalWidget() != nullptr ||
         QApplication::activePopupWidget() != nullptr;
}

void TRebuildWatcher::Watch(const QStringList& aPaths) {
  const QStringList Now = WatchedPaths();
  QStringList Gone;
  for (const QString& Path : Now)
    if (!aPaths.contains(Path))
      Gone << Path;
  QStringList New;
  for (const QString& Path : aPaths)
    if (!Now.contains(Path))
      New << Path;
  if (!Gone.isEmpty())
    FWatcher.removePaths(Gone);
  if (!New.isEmpty())
    FWatcher.addPaths(New);
}

void TRebuildWatcher::StartLooking() {
  if (!FLooks.isActive())
    FLooks.start();
}

void TRebuildWatcher::Reloading(bool aStarts) {
  // As while a run's window is up: commands neither run nor have their rules
  // read the project until the reload has put it together again.
  TAction::HoldUpdates(aStarts);
  if (!aStarts)
    TAction::UpdateAll();
}

void TRebuildWatcher::Reloaded(const TReloadReport& aReport) {
  FHost.RefreshViews();
  FHost.SetStatus(aReport.Status);
  const TResultsPresenter& Results = FResults.Presenter();
  if (!aReport.Modules.empty() && Results.RunAgainAfterRebuild() && Results.HasLastRun())
    QTimer::singleShot(0, this, [this] { RunAgain(); });
}

void TRebuildWatcher::RunAgain() {
  if (Busy())
    return;
  FHost.ShowResults();
  // What the run does to the module files starts no further reload.
  FWatch.RunQuietly([&] { RunGuarded([&] { FResults.Presenter().RepeatLastRun(); }); });
}

} // namespace Kalvoro
