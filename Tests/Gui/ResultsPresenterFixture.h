// What the results presenter's tests share: in-process unit tests that pass,
// fail and raise, a fake view, and a project of five scenarios with the
// presenter over it.
#pragma once

#include "PresenterTestSupport.h"

#include "Exception.h"
#include "LinesPage.h"
#include "Project.h"
#include "ResultsPresenter.h"
#include "UnitTest.h"
#include "UnitTestBase.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace ResultsPresenterTests {

using namespace Kalvoro;

class TPassing : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestAdd); }
  void TestAdd() { Check(true, "adds"); }
};

class TMixed : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestPass);
    REGISTER_METHOD(TestFail);
  }
  void TestPass() { Check(true, "passes"); }
  void TestFail() { Check(false, "fails"); }
};

class TRaising : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestRaise); }
  void TestRaise() { throw Exception("raised"); }
};

template <class T> std::unique_ptr<T> MakeUnitTest(TModule* aModule, const char* aName) {
  auto UnitTest = std::make_unique<T>(aModule);
  UnitTest->SetName(aName);
  UnitTest->Register();
  return UnitTest;
}

inline QStringList Texts(const std::vector<std::string>& aLines) {
  QStringList Result;
  for (const std::string& Line : aLines)
    Result << QString::fromStdString(Line);
  return Result;
}

// Log lines with their date and time masked.
inline QStringList Masked(const std::vector<std::string>& aLines) {
  static const QRegularExpression Stamp(
      QStringLiteral("\\(\\d\\d.\\d\\d.\\d{4} \\d\\d.\\d\\d.\\d\\d\\)"));
  QStringList Result = Texts(aLines);
  for (QString& Line : Result)
    Line.replace(Stamp, QStringLiteral("(T)"));
  return Result;
}

// The view: a current row and a selection set by the test (or by SelectRow);
// rebuilds and shows counted.
class TFakeView : public IResultsView {
public:
  int CurrentRow() const override { return Current; }
  std::vector<int> SelectedRows() const override { return Selected; }
  void SelectRow(int aRow) override {
    Current = aRow;
    Selected = {aRow};
  }
  void RefreshTree() override { ++Rebuilt; }
  void ShowFilter() override { ++Filtered; }
  void ShowFileControls() override { ++Shown; }

  int Current = -1;
  std::vector<int> Selected;
  int Filtered = 0;
  int Rebuilt = 0;
  int Shown = 0;
};

// The project: "Default Scenario" with TPassing and TMixed, "Broken" with
// TRaising, "Empty", and the disabled "Later" with a disabled unit test.
class TResultsFixture {
protected:
  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  TModule FModule{"fake.so"};
  std::vector<std::unique_ptr<TUnitTestBase>> FUnitTests;
  TFakeView FView;
  std::unique_ptr<TResultsPresenter> FPresenter;

  TUnitTestBase* Add(std::unique_ptr<TUnitTestBase> aUnitTest, TTestScenario* aScenario,
                     bool aEnabled = true) {
    aScenario->AddUnitTest(aUnitTest.get());
    aUnitTest->SetEnabled(aEnabled);
    FUnitTests.push_back(std::move(aUnitTest));
    return FUnitTests.back().get();
  }
  TTestScenario* Scenario(int aIndex) { return FProject->Scenarios()[aIndex]; }
  QStringList Statuses() {
    QStringList Result;
    for (const TResultRow& Row : FPresenter->Rows())
      Result << Row.Text + QLatin1Char('=') + Row.Status;
    return Result;
  }
  bool Enabled(const char* aCommand) {
    return FindCommand(FPresenter->Commands(), QLatin1String(aCommand)).Enabled();
  }
  const std::vector<std::string>& Lines(TPageKind aPage) { return FPresenter->Page(aPage).Lines(); }
  QString InFolder(const QString& aName) { return FFolder->filePath(aName); }
  // Saves the project so that its Modified flag is clear.
  void MarkSaved() {
    FProject->SetFileName(InFolder(QStringLiteral("p.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }

  void SetUp() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    // The unit tests below live in this program, not in a module file that a
    // host could load: they run in process.
    FProject->SetOptions({.Hosts = false});
    // Default Scenario: TPassing and TMixed; Broken: TRaising; Empty: nothing;
    // Later (disabled): TPassing disabled.
    Add(MakeUnitTest<TPassing>(&FModule, "TPassing"), Scenario(0));
    Add(MakeUnitTest<TMixed>(&FModule, "TMixed"), Scenario(0));
    Add(MakeUnitTest<TRaising>(&FModule, "TRaising"), FProject->Scenarios().AddByName("Broken"));
    FProject->Scenarios().AddByName("Empty");
    TTestScenario* Later = FProject->Scenarios().AddByName("Later");
    Add(MakeUnitTest<TPassing>(&FModule, "TSkipped"), Later, false);
    Later->SetEnabled(false);
    // Report files off until a test turns them on.
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkSummary, false);
    Info.SetEnabled(pkLog, false);
    Info.SetEnabled(pkErrors, false);
    FView = TFakeView();
    FPresenter = std::make_unique<TResultsPresenter>(*FDialogs, FView);
  }
  void TearDown() {
    FPresenter.reset();
    FProject.reset();
    FUnitTests.clear();
  }
};

} // namespace ResultsPresenterTests
