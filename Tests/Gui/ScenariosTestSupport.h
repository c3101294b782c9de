// Shared pieces of the scenarios presenter's tests: scripted input boxes, a
// stand-in for the view's selection, the rows as texts, and a fixture with a
// project of two small modules.
#pragma once

#include "Dialogs.h"
#include "Exception.h"
#include "PresenterTestSupport.h"
#include "Project.h"
#include "ScenariosPresenter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace Kalvoro {

// Input boxes answered from a script (nullopt: Cancel); records what they
// were opened with. No other dialog is expected.
class TInputDialogs : public IDialogs {
public:
  void ShowMessage(const QString&, const QString&) override { ++Unexpected; }
  void ShowError(const QString&, const QString&) override { ++Unexpected; }
  bool Confirm(const QString&) override { return ++Unexpected, false; }
  bool InputQuery(const QString& aCaption, const QString& aPrompt, QString& aValue) override {
    Inputs << QStringList{aCaption, aPrompt, aValue};
    if (InputAnswers.isEmpty() || !InputAnswers.front()) {
      if (InputAnswers.isEmpty())
        ++Unexpected;
      else
        InputAnswers.removeFirst();
      return false;
    }
    aValue = *InputAnswers.takeFirst();
    return true;
  }
  bool OpenFile(TFileDialogOptions&) override { return ++Unexpected, false; }
  bool SaveFile(TFileDialogOptions&) override { return ++Unexpected, false; }
  int Execute(QDialog&) override { return ++Unexpected, 0; }

  QList<std::optional<QString>> InputAnswers;
  QList<QStringList> Inputs;
  int Unexpected = 0;
};

inline QString ModulePath(const QString& aName) {
  return QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/") + aName;
}

// The view as far as the presenter sees it: which rows are selected and
// current. A rebuild takes the presenter's selection, as the real trees do.
class TFakeView : public IScenariosView {
public:
  std::vector<int> Selected;
  int Current = -1;
  std::vector<int> Available;
  int Rebuilds = 0;
  const TScenariosPresenter* Presenter = nullptr;

  std::vector<int> SelectedRows() const override { return Selected; }
  bool AnyRowSelected() const override { return !Selected.empty(); }
  int CurrentRow() const override { return Current; }
  std::vector<int> SelectedAvailable() const override { return Available; }
  bool AnyAvailableSelected() const override { return !Available.empty(); }
  void ShowAvailable() override { Available.clear(); }
  void ShowRows() override {
    Selected = Presenter->Selection().Rows;
    Current = Presenter->Selection().Current;
    ++Rebuilds;
  }

  // Selects the rows (in tree order); the first becomes current.
  void Select(std::vector<int> aRows) {
    Selected = std::move(aRows);
    Current = Selected.empty() ? -1 : Selected.front();
  }
};

// "Name [x]" for a scenario row, "- Name Module [ ]" for a unit-test row.
inline QStringList Texts(const TScenariosPresenter& aPresenter) {
  QStringList Result;
  for (const TScenarioRow& Row : aPresenter.Rows()) {
    const QString Box = Row.Checked ? QStringLiteral("[x]") : QStringLiteral("[ ]");
    Result << (Row.IsScenario() ? Row.Text + ' ' + Box
                                : QStringLiteral("- ") + Row.Text + ' ' + Row.Module + ' ' + Box);
  }
  return Result;
}

inline QStringList AvailableTexts(const TScenariosPresenter& aPresenter) {
  QStringList Result;
  for (const TAvailableRow& Row : aPresenter.AvailableRows())
    Result << Row.Text;
  return Result;
}

inline const QString Duplicate = QString::fromLatin1(
    DuplicateScenarioMessage.data(), static_cast<int>(DuplicateScenarioMessage.size()));

// A fresh project, presenter and view for every test (Setup in init, TearDown
// in cleanup).
class TScenariosFixture {
protected:
  std::unique_ptr<TInputDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TScenariosPresenter> FPresenter;
  std::unique_ptr<TFakeView> FView;

  TModule* LoadModule(const char* aFile) {
    TModule* Module =
        FProject->Modules().AddByFileName(ModulePath(QString::fromLatin1(aFile)).toStdString());
    if (!Module->LoadModule())
      qFatal("cannot load %s", aFile);
    return Module;
  }
  TTestScenario* Scenario(const char* aName) const {
    return FProject->Scenarios().FindByName(aName);
  }
  TUnitTestBase* UnitTest(int aModule, const char* aName) const {
    return FProject->Modules()[aModule]->UnitTestList().FindByName(aName);
  }
  // Saves the project, so that Modified starts out false.
  void Saved() {
    FProject->SetFileName(FFolder->filePath(QStringLiteral("Scenarios.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }
  const TCommand& Command(const char* aName) const {
    return FindCommand(FPresenter->Commands(), QString::fromLatin1(aName));
  }
  bool Enabled(const char* aName) const { return Command(aName).Enabled(); }
  void Run(const char* aName) const { QVERIFY(Command(aName).Run()); }

  // Scenarios "Default Scenario" (TAlpha, TBeta of GuiAlpha) and "Smoke"
  // (TGamma of GuiGamma), TGamma disabled; nothing available.
  void Compose() {
    LoadModule("GuiAlpha.so");
    LoadModule("GuiGamma.so");
    TTestScenario* Smoke = FProject->Scenarios().AddByName("Smoke");
    Scenario("Default Scenario")->AddUnitTest(UnitTest(0, "TAlpha"));
    Scenario("Default Scenario")->AddUnitTest(UnitTest(0, "TBeta"));
    Smoke->AddUnitTest(UnitTest(1, "TGamma"));
    UnitTest(1, "TGamma")->SetEnabled(false);
    FPresenter->Activate(FProject.get());
  }

  void Setup() {
    FDialogs = std::make_unique<TInputDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    FView = std::make_unique<TFakeView>();
    FPresenter = std::make_unique<TScenariosPresenter>(*FDialogs, *FView);
    FView->Presenter = FPresenter.get();
  }
  void TearDown() {
    QCOMPARE(FDialogs->Unexpected, 0);
    FPresenter.reset();
    FProject.reset();
  }
};

} // namespace Kalvoro
