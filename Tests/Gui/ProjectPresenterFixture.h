// What the project presenter's tests share: a fake window that records its
// calls among the dialogs' events, project files to open, a file system
// that is full, and the presenter over them.
#pragma once

#include "PresenterTestSupport.h"

#include "Exception.h"
#include "LoadErrors.h"
#include "ModuleRows.h"
#include "Paths.h"
#include "Project.h"
#include "ProjectPresenter.h"
#include "Titles.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <sys/mount.h>

using namespace Kalvoro;

namespace {

const QString Prefix = QStringLiteral("Morvane v0.7.0 - ");

// The head of a project file: its counts and the report settings.
inline QStringList HeadLines(int aModules, int aScenarios) {
  return {"[Project]",
          "Signature=Kalvoro",
          "FileVersion=1.0",
          QStringLiteral("ModuleCount=%1").arg(aModules),
          QStringLiteral("ScenarioCount=%1").arg(aScenarios),
          "[FileInfo]",
          "SummaryEnabled=1",
          "SummaryFileName=Summary.txt",
          "LogEnabled=1",
          "LogFileName=Log.txt",
          "ErrorEnabled=1",
          "ErrorFileName=Error.txt"};
}

// A project file with two scenarios and no modules.
inline QStringList PlainProjectLines() {
  return HeadLines(0, 2) + QStringList{"[Scenarios]", "Name0=Default Scenario", "Name1=Smoke"};
}

// A 16 KiB file system mounted on aFolder and filled up, while it lives.
class TSmallFileSystem {
public:
  explicit TSmallFileSystem(const QString& aFolder) : FFolder(ToPath(aFolder)) {
    QDir().mkpath(aFolder);
    FMounted = ::mount("kalvoro-test", FFolder.c_str(), "tmpfs", 0, "size=16k") == 0;
    if (!FMounted)
      return;
    QFile Filler(aFolder + "/filler");
    if (Filler.open(QIODevice::WriteOnly))
      while (Filler.write(QByteArray(4096, 'x')) > 0 && Filler.flush())
        ;
  }
  ~TSmallFileSystem() {
    if (FMounted)
      ::umount(FFolder.c_str());
  }
  TSmallFileSystem(const TSmallFileSystem&) = delete;
  TSmallFileSystem& operator=(const TSmallFileSystem&) = delete;

  bool Filled() const { return FMounted; }

private:
  std::string FFolder;
  bool FMounted = false;
};

// The window as the presenter sees it: its calls go into the dialogs' event
// list, so that one list shows what happened in which order.
class TFakeProjectView : public IProjectView {
public:
  explicit TFakeProjectView(TFakeDialogs& aDialogs) : FDialogs(aDialogs) {}
  void DeactivateView() override { FDialogs.Events << QStringLiteral("deactivate"); }
  void ReactivateView() override { FDialogs.Events << QStringLiteral("reactivate"); }
  void CaptionChanged() override { FDialogs.Events << QStringLiteral("caption"); }

private:
  TFakeDialogs& FDialogs;
};

class TProjectPresenterFixture {
protected:
  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TFakeProjectView> FView;
  std::unique_ptr<TProjectPresenter> FPresenter;

  QString PathOf(const QString& aName) const { return FFolder->filePath(aName); }
  const TCommand& Command(const char* aName) const {
    return FindCommand(FPresenter->Commands(), QLatin1String(aName));
  }
  // Starts as the window does and forgets the events of the start.
  void Start(const QStringList& aArguments = {}) {
    FPresenter->Start(aArguments);
    FDialogs->Events.clear();
  }

  void SetUp() {
    SetApplicationTitle(QStringLiteral("Morvane v0.7.0"));
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FView = std::make_unique<TFakeProjectView>(*FDialogs);
    FPresenter = std::make_unique<TProjectPresenter>(*FDialogs, *FView);
  }
  void TearDown() {
    FPresenter.reset();
    FView.reset();
    FDialogs.reset();
    FFolder.reset();
  }
};

} // namespace

// Runs the tests of ProjectSavePresenterTest.cpp.
int RunProjectSaveTests(int argc, char** argv);
