// Rebuilt modules picked up by themselves, without a file watcher: the tests
// change module files in a folder of their own as a linker does and hand the
// watch the events a watcher would send; each module is listed by a host.
#include "PresenterTestSupport.h"
#include "ResultsPresenterFixture.h"

#include "KindLister.h"
#include "ListedIdentity.h"
#include "ModuleLister.h"
#include "ModuleRows.h"
#include "Project.h"
#include "RebuildWatch.h"
#include "ResultsPresenter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <set>

using namespace Kalvoro;

namespace {

QString Built(const char* aName) {
  return TestModulePath(QLatin1String(aName));
}

class TFakeRebuildView : public IRebuildView {
public:
  bool Busy() const override { return IsBusy; }
  void Watch(const QStringList& aPaths) override { Paths = aPaths; }
  void StartLooking() override { ++Looking; }
  void Reloading(bool aStarts) override { InReload = aStarts; }
  void Reloaded(const TReloadReport& aReport) override { Reports.push_back(aReport); }

  bool IsBusy = false;
  bool InReload = false;
  QStringList Paths;
  int Looking = 0;
  std::vector<TReloadReport> Reports;
};

// The ways a linker puts a new file in place, as steps over the module's path.
using TSteps = std::function<void(const QString& aPath, const QString& aFrom)>;

void Copy(const QString& aFrom, const QString& aTo) {
  QFile::remove(aTo);
  QVERIFY(QFile::copy(aFrom, aTo));
}

void WriteInPlace(const QString& aPath, const QByteArray& aBytes) {
  QFile File(aPath);
  QVERIFY(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(File.write(aBytes), aBytes.size());
}

QByteArray Bytes(const QString& aPath) {
  QFile File(aPath);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

} // namespace

class TRebuildWatchPresenterTest : public QObject {
  Q_OBJECT

  // Declared first: the hosts outlive the project that uses them.
  std::unique_ptr<TKindLister> FKinds;
  std::unique_ptr<TModuleListerScope> FListing;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TFakeDialogs> FDialogs;
  ResultsPresenterTests::TFakeView FResultsView;
  std::unique_ptr<TResultsPresenter> FResults;
  std::unique_ptr<TFakeRebuildView> FView;
  std::unique_ptr<TRebuildWatch> FWatch;

  QString InFolder(const char* aName) { return FFolder->filePath(QLatin1String(aName)); }
  // A copy of a built module in the folder, loaded, its unit tests in
  // "Default Scenario" and the last one disabled.
  TModule* AddModule(const char* aBuilt, const char* aName) {
    Copy(Built(aBuilt), InFolder(aName));
    TModule* Module = FProject->Modules().AddByFileName(InFolder(aName).toStdString());
    if (!Module->LoadModule())
      return nullptr;
    for (TUnitTestBase* UnitTest : Module->UnitTestList())
      FProject->Scenarios()[0]->AddUnitTest(UnitTest);
    Module->UnitTestList()[Module->UnitTestList().Count() - 1]->SetEnabled(false);
    return Module;
  }
  // "Scenario/UnitTest=ENABLED|DISABLED" of every unit test, and each
  // method's result.
  QStringList Assignments() {
    QStringList Result;
    for (const TTestScenario* Scenario : FProject->Scenarios())
      for (const TUnitTestBase* UnitTest : Scenario->UnitTestList()) {
        QString Line = QString::fromStdString(Scenario->Name() + "/" + UnitTest->Name()) +
                       (UnitTest->Enabled() ? "=ENABLED" : "=DISABLED");
        for (const TUnitTestMethod* Method : UnitTest->Methods())
          Line += QLatin1Char(' ') + ResultText(Method->TestResult());
        Result << Line;
      }
    return Result;
  }
  // Looks until a reload or aMost looks; the looks it took.
  int LookUntilReloaded(int aMost = 6) {
    const std::size_t Before = FView->Reports.size();
    for (int Looks = 1; Looks <= aMost; ++Looks) {
      FWatch->Look();
      if (FView->Reports.size() > Before)
        return Looks;
    }
    return 0;
  }

private slots:
  void init() {
    FKinds = std::make_unique<TKindLister>();
    FListing = std::make_unique<TModuleListerScope>(FKinds.get());
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    FDialogs = std::make_unique<TFakeDialogs>();
    FResults = std::make_unique<TResultsPresenter>(*FDialogs, FResultsView);
    FView = std::make_unique<TFakeRebuildView>();
    FWatch = std::make_unique<TRebuildWatch>(*FView);
    FWatch->SetResults(FResults.get());
  }
  void cleanup() {
    FWatch.reset();
    FResults.reset();
    FProject.reset();
    FListing.reset();
    FKinds.reset();
    FFolder.reset();
  }

  // However the linker puts the new file in place, the module is listed
  // again once the file is whole and quiet: its unit tests keep their
  // scenario and enabled state, the last results stay, out of date.
  void ARebuiltModuleIsListedAgainOnceQuietKeepingStatesAndResults() {
    const struct {
      const char* Name;
      TSteps Steps; // the rebuild, with the events it sends
      int Looks;    // the looks until the reload
    } Cases[] = {
        {"written in place",
         [this](const QString& aPath, const QString& aFrom) {
           WriteInPlace(aPath, Bytes(aFrom));
           FWatch->PathChanged(aPath);
         },
         2},
        {"deleted and made again",
         [this](const QString& aPath, const QString& aFrom) {
           QVERIFY(QFile::remove(aPath));
           FWatch->PathChanged(aPath);
           QVERIFY(!FView->Paths.contains(aPath)); // a watcher drops it
           QVERIFY(FView->Paths.contains(QFileInfo(aPath).absolutePath()));
           FWatch->Look(); // not there: not quiet
           QVERIFY(QFile::copy(aFrom, aPath));
           FWatch->PathChanged(QFileInfo(aPath).absolutePath());
           QVERIFY(FView->Paths.contains(aPath)); // watched again
         },
         2},
        {"renamed over",
         [this](const QString& aPath, const QString& aFrom) {
           const QString Temporary = aPath + QStringLiteral(".tmp");
           QVERIFY(QFile::copy(aFrom, Temporary));
           QVERIFY(::rename(Temporary.toLocal8Bit().constData(), aPath.toLocal8Bit().constData()) ==
                   0);
           FWatch->PathChanged(QFileInfo(aPath).absolutePath());
         },
         2},
        {"written in two goes",
         [this](const QString& aPath, const QString& aFrom) {
           const QByteArray Whole = Bytes(aFrom);
           WriteInPlace(aPath, Whole.left(Whole.size() / 2));
           FWatch->PathChanged(aPath);
           // Half a file never counts as quiet, however often it is looked at.
           for (int I = 0; I < 3; ++I)
             FWatch->Look();
           QVERIFY(FView->Reports.empty());
           WriteInPlace(aPath, Whole);
           FWatch->PathChanged(aPath);
         },
         2},
    };
    for (const auto& Case : Cases) {
      cleanup();
      init();
      TModule* Module = AddModule("GuiAlpha.so", "m.so");
      QVERIFY(Module != nullptr);
      FResults->Activate(FProject.get());
      FWatch->SetProject(FProject.get());
      QCOMPARE(FView->Paths, QStringList({InFolder("m.so"), FFolder->path()}));
      for (TUnitTestBase* UnitTest : Module->UnitTestList())
        for (TUnitTestMethod* Method : UnitTest->Methods())
          Method->SetTestResult(UnitTest->Enabled() ? tcrFailure : tcrTodo);
      const QStringList Before = Assignments();
      // An event without a change (a file beside it) starts nothing.
      WriteInPlace(InFolder("other.txt"), "x");
      FWatch->PathChanged(FFolder->path());
      QVERIFY2(!FWatch->Waiting(), Case.Name);
      Case.Steps(InFolder("m.so"), Built("GuiAlpha.so"));
      QVERIFY2(FWatch->Waiting(), Case.Name);
      QVERIFY2(FView->Looking > 0, Case.Name);
      QVERIFY2(LookUntilReloaded() == Case.Looks, Case.Name);
      QCOMPARE(FView->Reports.size(), std::size_t(1));
      const TReloadReport& Report = FView->Reports.front();
      QCOMPARE(Report.Modules, std::vector<TModule*>{Module});
      QVERIFY2(Report.Errors.isEmpty(), qPrintable(Report.Errors.join('\n')));
      QVERIFY2(Report.Status.contains(QLatin1String("m.so")), qPrintable(Report.Status));
      QCOMPARE(Module->State(), msLoadSuccess);
      QVERIFY2(!ListingOutOfDate(*Module), Case.Name);
      QCOMPARE(Assignments(), Before);
      QVERIFY(FResults->OutOfDate());
      QCOMPARE(FResults->Rows()[0].Status, QStringLiteral("FAILURE"));
      QVERIFY(!FWatch->Waiting());
    }
  }

  // Reloads wait while a run, a dialog or a command is under way; modules
  // rebuilt together are listed again in one reload.
  void ReloadsWaitWhileBusyAndTakeModulesRebuiltTogetherAsOne() {
    TModule* Alpha = AddModule("GuiAlpha.so", "a.so");
    TModule* Gamma = AddModule("GuiGamma.so", "g.so");
    FWatch->SetProject(FProject.get());
    FView->IsBusy = true;
    WriteInPlace(InFolder("a.so"), Bytes(Built("GuiAlpha.so")));
    FWatch->PathChanged(InFolder("a.so"));
    FWatch->Look();
    WriteInPlace(InFolder("g.so"), Bytes(Built("GuiGamma.so")));
    FWatch->PathChanged(InFolder("g.so"));
    for (int I = 0; I < 4; ++I)
      FWatch->Look();
    QVERIFY(FView->Reports.empty());
    FView->IsBusy = false;
    QCOMPARE(LookUntilReloaded(), 1);
    QCOMPARE(FView->Reports.size(), std::size_t(1));
    QCOMPARE(FView->Reports[0].Modules, (std::vector<TModule*>{Alpha, Gamma}));
  }

  // A reload lists one module after another while the event loop turns (the
  // listing's wait): meanwhile no result row may point at a unit test or
  // method that an earlier module's listing has replaced (a command's rule
  // reading such a row brought the program down).
  void WhileAReloadListsNoResultRowPointsAtWhatItReplaced() {
    QStringList Stale;
    int WaitsInReload = 0;
    FListing.reset();
    FKinds = std::make_unique<TKindLister>([&](const std::vector<int>& aDescriptors, int aMs) {
      if (FView->InReload) {
        ++WaitsInReload;
        std::set<const void*> Live;
        const auto Add = [&](const TUnitTestBase* aUnitTest) {
          Live.insert(aUnitTest);
          for (const TUnitTestMethod* Method : aUnitTest->Methods())
            Live.insert(Method);
        };
        for (const TTestScenario* Scenario : FProject->Scenarios())
          for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
            Add(UnitTest);
        for (const TModule* Module : FProject->Modules())
          for (const TUnitTestBase* UnitTest : Module->UnitTestList())
            Add(UnitTest);
        for (const TResultRow& Row : FResults->Rows())
          if ((Row.Kind == rrkUnitTest && !Live.contains(Row.UnitTest)) ||
              (Row.Kind == rrkMethod && !Live.contains(Row.Method)))
            Stale << Row.Text;
      }
      PollWait(aDescriptors, aMs);
    });
    FListing = std::make_unique<TModuleListerScope>(FKinds.get());
    TModule* Alpha = AddModule("GuiAlpha.so", "a.so");
    TModule* Gamma = AddModule("GuiGamma.so", "g.so");
    QVERIFY(Alpha != nullptr && Gamma != nullptr);
    for (TModule* Module : {Alpha, Gamma})
      for (TUnitTestBase* UnitTest : Module->UnitTestList())
        for (TUnitTestMethod* Method : UnitTest->Methods())
          Method->SetTestResult(tcrFailure);
    FResults->Activate(FProject.get());
    QVERIFY(!FResults->Rows().empty());
    FWatch->SetProject(FProject.get());
    for (const char* Name : {"a.so", "g.so"}) {
      WriteInPlace(InFolder(Name), Bytes(InFolder(Name)) + QByteArray(16, '\0'));
      FWatch->PathChanged(InFolder(Name));
    }
    QCOMPARE(LookUntilReloaded(), 2);
    QCOMPARE(FView->Reports.back().Modules, (std::vector<TModule*>{Alpha, Gamma}));
    QVERIFY(WaitsInReload > 0);
    QVERIFY2(Stale.isEmpty(), qPrintable(Stale.join(QLatin1String(", "))));
    QVERIFY(!FView->InReload);
    // The rows are back, from the new unit tests, with their results.
    QVERIFY(FResults->OutOfDate());
    QCOMPARE(FResults->Rows()[0].Status, QStringLiteral("FAILURE"));
  }

  // A rebuild that does not list tells so once; the next rebuild mends it.
  void ARebuildThatDoesNotListShowsItsErrorOnce() {
    TModule* Module = AddModule("GuiAlpha.so", "m.so");
    const QStringList Before = Assignments();
    FWatch->SetProject(FProject.get());
    Copy(Built("GuiNoRegister.so"), InFolder("m.so"));
    FWatch->PathChanged(FFolder->path());
    QCOMPARE(LookUntilReloaded(), 2);
    QCOMPARE(Module->State(), msLoadFailed);
    const TReloadReport& Failed = FView->Reports.back();
    QCOMPARE(Failed.Errors.size(), 1);
    QVERIFY(Failed.Errors[0].startsWith(QLatin1String("m.so: ")));
    QVERIFY(Failed.Status.contains(Failed.Errors[0]));
    // The module's row tells why.
    const QString RowError = ModuleRows(FProject->Modules()).front().Error;
    QVERIFY(!RowError.isEmpty());
    QVERIFY2(Failed.Errors[0].contains(RowError), qPrintable(RowError));
    // More events and looks at the same file: no second report.
    FWatch->PathChanged(InFolder("m.so"));
    FWatch->PathChanged(FFolder->path());
    QCOMPARE(LookUntilReloaded(), 0);
    QCOMPARE(FView->Reports.size(), std::size_t(1));
    Copy(Built("GuiAlpha.so"), InFolder("m.so"));
    FWatch->PathChanged(FFolder->path());
    QCOMPARE(LookUntilReloaded(), 2);
    QCOMPARE(Module->State(), msLoadSuccess);
    QCOMPARE(Assignments(), Before);
  }

  // The unit tests of a rebuilt module keep their places in a scenario whose
  // order is not the module's. A rebuild that takes a unit test away and
  // brings a new one (registered first, so that no unit test keeps its
  // index): the one kept keeps its scenario, state and results; the one gone
  // leaves its assignment line with the module, which puts it back when a
  // later rebuild brings it again; the new one is in no scenario, as a load
  // leaves it.
  void ARebuildThatRemovesAndAddsUnitTestsKeepsTheOthersInPlace() {
    TModule* Module = AddModule("GuiRebuilt.so", "m.so");
    QVERIFY(Module != nullptr);
    TTestScenario* Second = FProject->Scenarios().AddByName("Second");
    for (const char* Name : {"TSteady", "TRebuilt"}) {
      TUnitTestBase* UnitTest = Module->UnitTestList().FindByName(Name);
      const bool Enabled = UnitTest->Enabled();
      FProject->Scenarios()[0]->RemoveUnitTest(UnitTest);
      Second->AddUnitTest(UnitTest);
      UnitTest->SetEnabled(Enabled);
    }
    for (TUnitTestMethod* Method : Module->UnitTestList().FindByName("TRebuilt")->Methods())
      Method->SetTestResult(tcrFailure);
    FResults->Activate(FProject.get());
    FWatch->SetProject(FProject.get());
    const QStringList Before = Assignments();
    QCOMPARE(Before, QStringList({"Second/TSteady=DISABLED TODO",
                                  "Second/TRebuilt=ENABLED FAILURE FAILURE"}));
    const auto Rebuild = [&](const char* aBuilt) {
      Copy(Built(aBuilt), InFolder("m.so"));
      FWatch->PathChanged(FFolder->path());
      QCOMPARE(LookUntilReloaded(), 2);
      QCOMPARE(Module->State(), msLoadSuccess);
    };

    Rebuild("GuiMended.so");
    QCOMPARE(Assignments(), Before);
    QVERIFY(Module->Assignments().empty());

    Rebuild("GuiReshaped.so");
    QCOMPARE(Assignments(), QStringList({"Second/TRebuilt=ENABLED FAILURE FAILURE"}));
    const TUnitTestBase* Fresh = Module->UnitTestList().FindByName("TFresh");
    QVERIFY(Fresh != nullptr);
    QVERIFY(Fresh->TestScenario() == nullptr);
    QCOMPARE(Module->Assignments(), std::vector<std::string>{"TSteady|Second|DISABLED"});
    QVERIFY(FResults->OutOfDate());

    Rebuild("GuiRebuilt.so");
    QCOMPARE(Assignments(), QStringList({"Second/TRebuilt=ENABLED FAILURE FAILURE",
                                         "Second/TSteady=DISABLED TODO"}));
    QVERIFY(Module->Assignments().empty());
  }

  // A test that writes its own module during a run that a reload started
  // cannot make the runs loop.
  void AChangeDuringARunAfterAReloadStartsNoOther() {
    AddModule("GuiAlpha.so", "m.so");
    FWatch->SetProject(FProject.get());
    FWatch->RunQuietly([&] {
      WriteInPlace(InFolder("m.so"), Bytes(Built("GuiAlpha.so")));
      FWatch->PathChanged(InFolder("m.so"));
    });
    QVERIFY(!FWatch->Waiting());
    // The event that comes late changes nothing either.
    FWatch->PathChanged(InFolder("m.so"));
    QVERIFY(!FWatch->Waiting());
    QCOMPARE(LookUntilReloaded(), 0);
    // A rebuild after the run is one again.
    WriteInPlace(InFolder("m.so"), Bytes(Built("GuiAlpha.so")) + QByteArray(16, '\0'));
    FWatch->PathChanged(InFolder("m.so"));
    QCOMPARE(LookUntilReloaded(), 2);
  }
};

QTEST_GUILESS_MAIN(TRebuildWatchPresenterTest)
#include "RebuildWatchPresenterTest.moc"
