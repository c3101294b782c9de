// What the modules presenter's tests share: a fake view whose tree records the
// rows of each rebuild among the dialogs' events, and the presenter over a
// project.
#pragma once

#include "PresenterTestSupport.h"

#include "KindLister.h"
#include "ModulesPresenter.h"
#include "Project.h"
#include "TestProgram.h"
#include "Titles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

using namespace Kalvoro;

namespace {

inline std::string PathOf(const char* aModule) {
  return TestModulePath(QLatin1String(aModule)).toStdString();
}

// The view as the presenter sees it: a current module, and a tree that
// records the rows of each rebuild (one line per row: indentation by level,
// the texts, the image) and the rebuild itself in the dialogs' event list.
class TFakeModulesView : public IModulesView {
public:
  explicit TFakeModulesView(TFakeDialogs& aDialogs) : FDialogs(aDialogs) {}

  TModule* Current = nullptr;
  const TModulesPresenter* Presenter = nullptr;
  QStringList Rows;

  TModule* CurrentModule() const override { return Current; }
  void RefreshTree() override {
    FDialogs.Events << QStringLiteral("refresh");
    Rows.clear();
    for (const TModuleRow& Row : Presenter->Rows()) {
      QString Line = QString(Row.Level() * 2, QLatin1Char(' ')) + Row.Name;
      if (Row.Kind == mrkModule)
        Line += QLatin1Char('|') + Row.Path + QLatin1Char('|') + Row.Status;
      Rows << Line + QStringLiteral(" #%1").arg(Row.Image);
    }
  }

private:
  TFakeDialogs& FDialogs;
};

class TModulesPresenterFixture {
protected:
  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TFakeModulesView> FView;
  std::unique_ptr<TModulesPresenter> FPresenter;

  const TCommand& Command(const char* aName) const {
    return FindCommand(FPresenter->Commands(), QLatin1String(aName));
  }
  // Whether each of the seven commands is enabled, in their order.
  QList<bool> Enabled() const {
    QList<bool> Result;
    for (const char* Name : {"actAddModule", "actRemoveModule", "actLoadModule", "actUnloadModule",
                             "actRemoveAll", "actLoadAll", "actUnloadAll"})
      Result << Command(Name).Enabled();
    return Result;
  }
  // Saves the project so that its Modified flag is clear.
  void MarkSaved() {
    FProject->SetFileName(FFolder->filePath(QStringLiteral("p.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }
  void AddByDialog(const QString& aPath) {
    FDialogs->OpenAnswers << aPath;
    QVERIFY(Command("actAddModule").Run());
  }
  QString ModuleRow(const char* aName, const char* aStatus, int aImage) const {
    return QStringLiteral("%1|" KALVORO_GUI_TEST_MODULES_DIR "/|%2 #%3")
        .arg(QLatin1String(aName), QLatin1String(aStatus))
        .arg(aImage);
  }

  void SetUp() {
    SetApplicationTitle(QStringLiteral("Morvane v0.7.0"));
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    FView = std::make_unique<TFakeModulesView>(*FDialogs);
    FPresenter = std::make_unique<TModulesPresenter>(*FDialogs, *FView);
    FView->Presenter = FPresenter.get();
    FPresenter->SetProject(FProject.get());
  }
  void TearDown() {
    FPresenter.reset();
    FView.reset();
    FProject.reset();
    FDialogs.reset();
    FFolder.reset();
  }
};

} // namespace

// Runs the tests of ModulesLoadPresenterTest.cpp.
int RunModulesLoadTests(int argc, char** argv);
