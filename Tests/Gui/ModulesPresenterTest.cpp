// The modules view's logic without widgets: the rows of its tree, the rules
// and effects of its seven commands on a project, the reports of assignments
// that did not fit, and a rebuilt tree after every command, also one that ends
// in an error (a module that crashes while it loads among them). Dialogs and
// rebuilds are recorded as one sequence of events.
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

std::string PathOf(const char* aModule) {
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

} // namespace

class TModulesPresenterTest : public QObject {
  Q_OBJECT

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

private slots:
  void init() {
    SetApplicationTitle(QStringLiteral("Morvane v0.7.0"));
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    FView = std::make_unique<TFakeModulesView>(*FDialogs);
    FPresenter = std::make_unique<TModulesPresenter>(*FDialogs, *FView);
    FView->Presenter = FPresenter.get();
    FPresenter->SetProject(FProject.get());
  }
  void cleanup() {
    FPresenter.reset();
    FView.reset();
    FProject.reset();
    FDialogs.reset();
    FFolder.reset();
  }

  void TheRulesFollowTheProjectAndTheCurrentModule() {
    // A project without modules: the project-wide commands only.
    QVERIFY(FPresenter->Rows().empty());
    QCOMPARE(Enabled(), (QList<bool>{true, false, false, false, true, true, true}));
    QVERIFY(!Command("actRemoveModule").Run());

    TModule* Module = FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    FView->Current = Module;
    QCOMPARE(Enabled(), (QList<bool>{true, true, true, false, true, true, true}));
    Module->LoadModule();
    QCOMPARE(Enabled(), (QList<bool>{true, true, false, true, true, true, true}));
    // No module row current (a unit-test or method row, or none).
    FView->Current = nullptr;
    QCOMPARE(Enabled(), (QList<bool>{true, false, false, false, true, true, true}));

    // Without a project (an inactive view) nothing is offered and nothing runs.
    FView->Current = Module;
    FPresenter->SetProject(nullptr);
    QCOMPARE(Enabled(), (QList<bool>{false, false, false, false, false, false, false}));
    QVERIFY(FPresenter->Rows().empty());
    QVERIFY(!Command("actUnloadAll").Run());
    QCOMPARE(Module->State(), msLoadSuccess);
    QVERIFY(FDialogs->Events.isEmpty());
  }

  void AddingALoadableModuleShowsItAndFillsDefaultScenario() {
    MarkSaved();
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    const TFileDialogOptions& Request = FDialogs->OpenRequests.at(0);
    QCOMPARE(Request.Title, QStringLiteral("Select a module"));
    QCOMPARE(Request.InitialDir, TModulesPresenter::ExamplesFolder());
    QVERIFY(Request.FileMustExist);
    for (const char* Pattern : {"*.so", "*.bpl", "*.dll", "All files"})
      QVERIFY2(Request.Filter.contains(QLatin1String(Pattern)), Pattern);
    QVERIFY(FProject->Modified());
    QCOMPARE(FDialogs->Events, (QStringList{"open", "refresh"}));

    // Rows follow the module's lists, nothing sorted.
    QCOMPARE(FView->Rows, (QStringList{ModuleRow("GuiAlpha.so", "LOAD SUCCESS", 1), "  TAlpha #3",
                                       "    TestFirst #4", "    TestSecond #4", "  TBeta #3",
                                       "    TestOnly #4"}));
    // What each row stands for.
    const std::vector<TModuleRow> Rows = FPresenter->Rows();
    TModule* Module = FProject->Modules()[0];
    QCOMPARE(Rows[0].Module, Module);
    QCOMPARE(Rows[1].UnitTest, Module->UnitTestList().FindByName("TAlpha"));
    QCOMPARE(Rows[1].Module, nullptr);
    QVERIFY(Rows[2].Module == nullptr && Rows[2].UnitTest == nullptr);

    TTestScenario* Default = FProject->Scenarios()[0];
    QCOMPARE(Default->GetUnitTestCount(), 2);
    QVERIFY(Default->GetUnitTest(0)->Enabled() && Default->GetUnitTest(1)->Enabled());
    QVERIFY(Module->Assignments().empty());
  }

  void TheFilterShowsMatchingRowsWithTheirParentsAndTheirMatchedParentsChildren() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    const std::vector<TModuleRow> Rows = FPresenter->Rows();
    const struct {
      const char* Text;
      QStringList Shown;
    } Cases[] = {
        {"", {"GuiAlpha.so", "TAlpha", "TestFirst", "TestSecond", "TBeta", "TestOnly"}},
        {"second", {"GuiAlpha.so", "TAlpha", "TestSecond"}},
        {"TBETA", {"GuiAlpha.so", "TBeta", "TestOnly"}},
        {"test*t", {"GuiAlpha.so", "TAlpha", "TestFirst"}},
        {"guialpha*", {"GuiAlpha.so", "TAlpha", "TestFirst", "TestSecond", "TBeta", "TestOnly"}},
        {"nothing", {}},
    };
    for (const auto& Case : Cases) {
      FPresenter->SetFilter(QLatin1String(Case.Text));
      const std::vector<char> Hidden = FPresenter->HiddenRows(Rows);
      QStringList Shown;
      for (std::size_t Row = 0; Row < Rows.size(); ++Row)
        if (Hidden.empty() || !Hidden[Row])
          Shown << Rows[Row].Name;
      QVERIFY2(Shown == Case.Shown, Case.Text);
    }
  }

  void WithoutDefaultScenarioTheUnitTestsStayUnassignedQuietly() {
    FProject->Scenarios()[0]->SetName("Renamed");
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    QCOMPARE(FProject->Scenarios()[0]->GetUnitTestCount(), 0);
    for (TUnitTestBase* UnitTest : FProject->Modules()[0]->UnitTestList())
      QCOMPARE(UnitTest->TestScenario(), nullptr);
    QCOMPARE(FDialogs->Events, (QStringList{"open", "refresh"}));
  }

  void TheSamePathIsAddedOnceButOtherLetterCaseIsAnotherModule() {
    QVERIFY(QFile::copy(TestModulePath(QStringLiteral("GuiGamma.so")),
                        FFolder->filePath(QStringLiteral("Gamma.so"))));
    QVERIFY(QFile::copy(TestModulePath(QStringLiteral("GuiGamma.so")),
                        FFolder->filePath(QStringLiteral("GAMMA.so"))));
    AddByDialog(FFolder->filePath(QStringLiteral("Gamma.so")));
    MarkSaved();
    FDialogs->Events.clear();
    // The same path: nothing changes, nothing is rebuilt; a cancelled dialog
    // neither.
    AddByDialog(FFolder->filePath(QStringLiteral("Gamma.so")));
    FDialogs->OpenAnswers << std::nullopt;
    Command("actAddModule").Run();
    QCOMPARE(FDialogs->Events, (QStringList{"open", "open"}));
    QCOMPARE(FProject->Modules().Count(), 1);
    QVERIFY(!FProject->Modified());
    AddByDialog(FFolder->filePath(QStringLiteral("GAMMA.so")));
    QCOMPARE(FProject->Modules().Count(), 2);
    QVERIFY(FView->Rows[3].startsWith(QStringLiteral("GAMMA.so|")));
  }

  void AModuleWithoutRegisterFailsButStaysInTheProjectAndShowsIt() {
    FDialogs->OpenAnswers << TestModulePath(QStringLiteral("GuiNoRegister.so"));
    const QString Error = ErrorOf(Command("actAddModule"));
    QVERIFY2(Error.contains(QStringLiteral("\"Register\"")), qPrintable(Error));
    QCOMPARE(FProject->Modules().Count(), 1);
    TModule* Module = FProject->Modules()[0];
    QCOMPARE(Module->State(), msLoadFailed);
    // The tree was rebuilt before the error went on: the module shows its state.
    QCOMPARE(FDialogs->Events, (QStringList{"open", "refresh"}));
    QCOMPARE(FView->Rows, QStringList{ModuleRow("GuiNoRegister.so", "LOAD FAILED", 2)});

    // Load is enabled and tries again for real (the failed load let go of the
    // library): the same error; Unload is not; Remove takes the module out.
    FView->Current = Module;
    QCOMPARE(Enabled(), (QList<bool>{true, true, true, false, true, true, true}));
    QVERIFY(ErrorOf(Command("actLoadModule")).contains(QStringLiteral("\"Register\"")));
    QCOMPARE(Module->State(), msLoadFailed);
    QVERIFY(Command("actRemoveModule").Run());
    QCOMPARE(FProject->Modules().Count(), 0);
    QVERIFY(FView->Rows.isEmpty());
    QCOMPARE(FDialogs->Events, (QStringList{"open", "refresh", "refresh", "refresh"}));
  }

  void APackageWhoseLoadFailsShowsLoadFailedLikeALibrary() {
    // A plain library under a package name lacks the package entries.
    const QString Fake = FFolder->filePath(QStringLiteral("NotAPackage.bpl"));
    QVERIFY(QFile::copy(TestModulePath(QStringLiteral("GuiGamma.so")), Fake));
    FDialogs->OpenAnswers << Fake;
    QVERIFY(ErrorOf(Command("actAddModule")).startsWith(QStringLiteral("Unable to load package")));
    const QString Row = QStringLiteral("NotAPackage.bpl|%1/|LOAD FAILED #2").arg(FFolder->path());
    QCOMPARE(FView->Rows, QStringList{Row});
  }

  void AModuleCrashingWhileItLoadsShowsLoadFailedAndTheProjectStaysOpen() {
    MarkSaved();
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    const QString Crashing = QStringLiteral(KALVORO_TEST_MODULES_DIR "/CrashesWhileLoading.so");
    // The signal's text goes under the refusal, as the loader's reason does.
    const QString Refusal =
        QStringLiteral("Failed to load package or library \"%1\"\rAccess violation (SIGSEGV)")
            .arg(Crashing);
    const QString FailedRow =
        QStringLiteral("CrashesWhileLoading.so|" KALVORO_TEST_MODULES_DIR "/|LOAD FAILED #2");
    // Crashing in its start-up when added, then in Register when loaded again.
    qputenv("KALVORO_CRASH_AT", "start-up");
    FDialogs->OpenAnswers << Crashing;
    QCOMPARE(ErrorOf(Command("actAddModule")), Refusal);
    QCOMPARE(FProject->Modules().Count(), 2);
    TModule* Module = FProject->Modules()[1];
    QCOMPARE(Module->LoaderError(), std::string("Access violation (SIGSEGV)"));
    QCOMPARE(FView->Rows.last(), FailedRow);
    FView->Current = Module;
    qputenv("KALVORO_CRASH_AT", "Register");
    QCOMPARE(ErrorOf(Command("actLoadModule")), Refusal);
    qunsetenv("KALVORO_CRASH_AT");
    QCOMPARE(FView->Rows.last(), FailedRow);
    // The project and its other module are as they were; the mended module loads.
    QVERIFY(FProject->Modified());
    QVERIFY(!FProject->FileName().empty());
    QCOMPARE(FView->Rows.first(), ModuleRow("GuiAlpha.so", "LOAD SUCCESS", 1));
    QVERIFY(Command("actLoadModule").Run());
    QCOMPARE(Module->State(), msLoadSuccess);
  }

  void UnloadThenLoadRestoresTheMemberships() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    TModule* Module = FProject->Modules()[0];
    TTestScenario* Default = FProject->Scenarios()[0];
    TTestScenario* Smoke = FProject->Scenarios().AddByName("Smoke");
    TUnitTestBase* Beta = Module->UnitTestList().FindByName("TBeta");
    Default->RemoveUnitTest(Beta);
    Smoke->AddUnitTest(Beta);
    Beta->SetEnabled(false);

    FView->Current = Module;
    MarkSaved();
    QVERIFY(Command("actUnloadModule").Run());
    QVERIFY(FProject->Modified());
    QCOMPARE(FView->Rows, QStringList{ModuleRow("GuiAlpha.so", "NOT LOADED", 0)});
    QCOMPARE(Default->GetUnitTestCount(), 0);

    QVERIFY(Command("actLoadModule").Run());
    QVERIFY(FDialogs->Messages.isEmpty());
    QCOMPARE(Default->GetUnitTestCount(), 1);
    QCOMPARE(Default->GetUnitTest(0)->Name(), std::string("TAlpha"));
    QVERIFY(Default->GetUnitTest(0)->Enabled());
    QCOMPARE(Smoke->GetUnitTestCount(), 1);
    QCOMPARE(Smoke->GetUnitTest(0)->Name(), std::string("TBeta"));
    QVERIFY(!Smoke->GetUnitTest(0)->Enabled());
    QCOMPARE(FView->Rows.size(), 6);
  }

  void LoadShowsTheReportOfAssignmentsThatDidNotFitThenRebuilds() {
    TModule* Module = FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    Module->Assignments() = {"TGamma|Nightly|ENABLED"};
    FView->Current = Module;
    QVERIFY(Command("actLoadModule").Run());
    QCOMPARE(FDialogs->Events, (QStringList{"message", "refresh"}));
    QCOMPARE(FDialogs->Messages[0].Caption, QStringLiteral("Morvane v0.7.0"));
    QCOMPARE(FDialogs->Messages[0].Text,
             QStringLiteral("The following error occurred when loading module \"GuiGamma.so\":\r"
                            "* TestScenario \"Nightly\" not found.\r"
                            "* UnitTest \"TGamma\" is not assigned to a TestScenario.\r"));
    QCOMPARE(Module->State(), msLoadSuccess);
  }

  void LoadAllShowsOnlyTheFailingReportsAfterTheRebuild() {
    TModule* Alpha = FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    Alpha->Assignments() = {"TAlpha|Default Scenario|ENABLED", "TBeta|Default Scenario|DISABLED"};
    TModule* Gamma = FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    Gamma->Assignments() = {"TGamma|Nightly|ENABLED"};
    MarkSaved();
    QVERIFY(Command("actLoadAll").Run());
    QCOMPARE(FDialogs->Events, (QStringList{"refresh", "message"}));
    QCOMPARE(FView->Rows.size(), 9);
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        QStringLiteral("The following error occurred when loading module \"GuiGamma.so\":")));
    QVERIFY(!FDialogs->Messages[0].Text.contains(QStringLiteral("GuiAlpha")));
    QVERIFY(FProject->Modified());
    QVERIFY(!FProject->Scenarios()[0]->GetUnitTest(1)->Enabled());

    // Everything loaded: Load All loads nothing, marks nothing, reports nothing.
    MarkSaved();
    Command("actLoadAll").Run();
    QVERIFY(!FProject->Modified());
    QCOMPARE(FDialogs->Events, (QStringList{"refresh", "message", "refresh"}));
  }

  void ALoadErrorStopsLoadAllWhereItAroseAndTheTreeShowsIt() {
    FProject->Modules().AddByFileName(PathOf("GuiNoRegister.so"));
    TModule* Alpha = FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    QVERIFY(ErrorOf(Command("actLoadAll")).contains(QStringLiteral("\"Register\"")));
    QCOMPARE(Alpha->State(), msNotLoaded);
    // Rebuilt, then the error; no collected report.
    QCOMPARE(FDialogs->Events, QStringList{"refresh"});
    QCOMPARE(FView->Rows, (QStringList{ModuleRow("GuiNoRegister.so", "LOAD FAILED", 2),
                                       ModuleRow("GuiAlpha.so", "NOT LOADED", 0)}));
  }

  // A test program's arguments, environment and working directory: asked
  // for a module listed as one only, kept by the project file in a section
  // of their own, and handed to the program at its next listing and runs.
  void ProgramSettingsGoToTheProjectFileAndTheProgram() {
    TKindLister Kinds;
    const TModuleListerScope Listing(&Kinds);
    const std::string Program = KALVORO_TEST_MODULES_DIR "/GoogleTestProgram";
    FView->Current = FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    QVERIFY(!Command("actProgramSettings").Enabled()); // not listed yet
    FView->Current->LoadModule();
    QVERIFY(!Command("actProgramSettings").Enabled()); // a Kalvoro module
    AddByDialog(QString::fromStdString(Program));
    TModule* Module = FProject->Modules().FindByFileName(Program);
    FView->Current = Module;
    QVERIFY(Command("actProgramSettings").Enabled());
    const QString Folder = FFolder->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(Folder));
    MarkSaved();
    // A malformed environment entry changes nothing.
    FDialogs->InputAnswers << QStringLiteral("--x") << QStringLiteral("NOEQUALS") << QString();
    QVERIFY(Command("actProgramSettings").Run());
    QVERIFY(Module->ProgramSettings().Empty());
    QVERIFY(!FProject->Modified());
    FDialogs->InputAnswers << QStringLiteral("--first 'two words'")
                           << QStringLiteral("PROGRAM_SETTING=on") << Folder;
    QVERIFY(Command("actProgramSettings").Run());
    const TProgramSettings Expected{
        {"--first", "two words"}, {"PROGRAM_SETTING=on"}, Folder.toStdString()};
    QVERIFY(Module->ProgramSettings() == Expected);
    QVERIFY(FProject->Modified());
    QCOMPARE(Module->State(), msLoadSuccess);
    FProject->SaveProject();
    const TOpenProjectResult Reread = OpenProject(FProject->FileName());
    QVERIFY(Reread.Project->Modules().FindByFileName(Program)->ProgramSettings() == Expected);
    // The program gets them when the console runner runs the project.
    QProcess Runner;
    Runner.start(QStringLiteral(KALVORO_RUNNER),
                 {QStringLiteral("run"), QString::fromStdString(FProject->FileName()),
                  QStringLiteral("--filter"), QStringLiteral("Setup.*"), QStringLiteral("--log"),
                  FFolder->filePath(QStringLiteral("log.txt"))});
    QVERIFY(Runner.waitForFinished(60000));
    QFile LogFile(FFolder->filePath(QStringLiteral("log.txt")));
    QVERIFY(LogFile.open(QIODevice::ReadOnly));
    const QString Log = QString::fromUtf8(LogFile.readAll());
    for (const char* Line :
         {"REPORT last argument: two words", "REPORT setting: on", "REPORT folder: work"})
      QVERIFY2(Log.contains(QLatin1String(Line)), qPrintable(Log));
  }

  // A program written over after its listing is shown out of date and is
  // never started until it is listed again.
  void AProgramWrittenOverSinceItsListingIsOutOfDate() {
    TKindLister Kinds;
    const TModuleListerScope Listing(&Kinds);
    const QString Copy = FFolder->filePath(QStringLiteral("program"));
    QVERIFY(QFile::copy(QStringLiteral(KALVORO_TEST_MODULES_DIR "/GoogleTestProgram"), Copy));
    AddByDialog(Copy);
    TModule* Module = FProject->Modules().FindByFileName(Copy.toStdString());
    QVERIFY(FView->Rows.first().contains(QLatin1String("|LOAD SUCCESS #")));
    QVERIFY(!ModuleProgramStart(*Module, {}, {}).Path.empty());
    {
      QFile File(Copy);
      QVERIFY(File.open(QIODevice::Append));
      File.write("\n");
    }
    FView->RefreshTree();
    QVERIFY2(FView->Rows.first().contains(QLatin1String("|LOAD SUCCESS (out of date) #")),
             qPrintable(FView->Rows.first()));
    QString Refused;
    try {
      ModuleProgramStart(*Module, {}, {});
    } catch (const std::exception& Error) {
      Refused = QString::fromUtf8(Error.what());
    }
    QCOMPARE(Refused, QLatin1String(ModuleFileChangedText));
    // Listed again, it is up to date.
    FView->Current = Module;
    QVERIFY(Command("actUnloadModule").Run());
    QVERIFY(Command("actLoadModule").Run());
    QVERIFY(FView->Rows.first().contains(QLatin1String("|LOAD SUCCESS #")));
  }

  void UnloadAllMarksOncePerModuleAndRemoveAllEmptiesTheProject() {
    MarkSaved();
    Command("actUnloadAll").Run();
    QVERIFY(!FProject->Modified());
    FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    MarkSaved();
    Command("actUnloadAll").Run();
    QVERIFY(FProject->Modified());

    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    Command("actUnloadAll").Run();
    for (TModule* Module : FProject->Modules())
      QCOMPARE(Module->State(), msNotLoaded);
    QCOMPARE(FView->Rows.size(), 2);
    MarkSaved();
    QVERIFY(Command("actRemoveAll").Run());
    QVERIFY(FProject->Modified());
    QCOMPARE(FProject->Modules().Count(), 0);
    QVERIFY(FView->Rows.isEmpty());
    QCOMPARE(FProject->Scenarios()[0]->GetUnitTestCount(), 0);
  }
};

QTEST_GUILESS_MAIN(TModulesPresenterTest)
#include "ModulesPresenterTest.moc"
