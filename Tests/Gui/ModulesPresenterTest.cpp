// The modules view's logic without widgets: the rows of its tree, the rules of
// its seven commands, adding modules, the filter, and test programs' settings.
// Dialogs and rebuilds are recorded as one sequence of events. Loading and
// unloading are in ModulesLoadPresenterTest.
#include "ModulesPresenterFixture.h"

class TModulesPresenterTest : public QObject, protected TModulesPresenterFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

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
};

// One test program for both halves of the ModulesPresenter tests.
int main(int argc, char** argv) {
  QCoreApplication Application(argc, argv);
  Application.setAttribute(Qt::AA_Use96Dpi, true);
  TModulesPresenterTest Tests;
  const int Failed = QTest::qExec(&Tests, argc, argv);
  return Failed + RunModulesLoadTests(argc, argv);
}

#include "ModulesPresenterTest.moc"
