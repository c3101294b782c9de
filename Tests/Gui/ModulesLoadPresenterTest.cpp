// The modules view's Load, Unload and their All forms without widgets: modules
// that fail or crash while they load, the reports of assignments that did not
// fit, and a rebuilt tree after every command, also one that ends in an error.
#include "ModulesPresenterFixture.h"

class TModulesLoadPresenterTest : public QObject, protected TModulesPresenterFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

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

int RunModulesLoadTests(int argc, char** argv) {
  TModulesLoadPresenterTest Tests;
  return QTest::qExec(&Tests, argc, argv);
}

#include "ModulesLoadPresenterTest.moc"
