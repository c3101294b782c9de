// The main window's project lifecycle without widgets: start-up, New, Open,
// the caption, load reports and errors that reach the caller after the view
// is back, and the close question. Dialogs and the window's view switching
// are recorded as one sequence of events. Saving is in ProjectSavePresenterTest.
#include "ProjectPresenterFixture.h"

#include "ViewChoice.h"

namespace {

// The main window as the view choice sees it: what it is asked, in order.
class TFakeViewHost : public IViewHost {
public:
  QStringList Events;
  void LeaveView(TMainView aView) override { Events << QStringLiteral("leave %1").arg(aView); }
  void EnterView(TMainView aView) override { Events << QStringLiteral("enter %1").arg(aView); }
  void RenewView(TMainView aView) override { Events << QStringLiteral("renew %1").arg(aView); }
};

} // namespace

class TProjectPresenterTest : public QObject, protected TProjectPresenterFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void WithoutExactlyOneArgumentTheStartMakesANewProject() {
    WriteTextFile(PathOf("a.kvr"), PlainProjectLines());
    for (const QStringList& Arguments : {QStringList{}, QStringList{PathOf("a.kvr"), "b.kvr"}}) {
      FDialogs->Events.clear();
      TProjectPresenter Presenter(*FDialogs, *FView);
      QCOMPARE(Presenter.Caption(), QStringLiteral("Morvane v0.7.0"));
      QCOMPARE(Presenter.Project(), nullptr);
      Presenter.Start(Arguments);
      QCOMPARE(Presenter.Caption(), Prefix + QStringLiteral("Untitled.kvr"));
      QVERIFY(Presenter.Project()->FileName().empty());
      QCOMPARE(Presenter.Project()->Scenarios().Count(), 1);
      QCOMPARE(Presenter.Project()->Scenarios()[0]->Name(), std::string("Default Scenario"));
      QVERIFY(Presenter.Project()->Modified());
      // No question: there was no project yet.
      QCOMPARE(FDialogs->Events, (QStringList{"deactivate", "reactivate", "caption"}));
    }
  }

  void OneArgumentOpensThatProjectAndSaveWaitsForAChange() {
    WriteTextFile(PathOf("a.kvr"), PlainProjectLines());
    FPresenter->Start({PathOf("a.kvr")});
    QCOMPARE(FPresenter->Caption(), Prefix + PathOf("a.kvr"));
    QCOMPARE(FPresenter->Project()->Scenarios().Count(), 2);
    QCOMPARE(FDialogs->Events, (QStringList{"deactivate", "caption", "reactivate"}));
    QVERIFY(!Command("actSaveProject").Enabled());
    QVERIFY(Command("actSaveProjectAs").Enabled());
    QVERIFY(Command("actNewProject").Enabled() && Command("actOpenProject").Enabled());
    FPresenter->Project()->SetModified();
    QVERIFY(Command("actSaveProject").Enabled());
    // Print has no rule and does nothing.
    QVERIFY(Command("actPrint").Run());
    QCOMPARE(FDialogs->Events.size(), 3);
  }

  void NewAsksBeforeDroppingChanges() {
    Start();
    TProject* First = FPresenter->Project();
    FDialogs->ConfirmAnswers = {false};
    QVERIFY(Command("actNewProject").Run());
    QCOMPARE(
        FDialogs->Questions,
        QStringList{QStringLiteral("Current project is not saved.\rCreate a new project anyway?")});
    QCOMPARE(FPresenter->Project(), First);
    QCOMPARE(FDialogs->Events, QStringList{"confirm"});

    // Yes: the view lets go of the old project, then shows the new one.
    FDialogs->Events.clear();
    FDialogs->ConfirmAnswers = {true};
    FPresenter->Project()->Scenarios().AddByName("Second");
    Command("actNewProject").Run();
    QCOMPARE(FDialogs->Events, (QStringList{"confirm", "deactivate", "reactivate", "caption"}));
    QCOMPARE(FPresenter->Project()->Scenarios().Count(), 1);
    QCOMPARE(FPresenter->Caption(), Prefix + QStringLiteral("Untitled.kvr"));

    // An unchanged project is replaced without a question.
    FPresenter->Project()->SetFileName(PathOf("saved.kvr").toStdString());
    FPresenter->Project()->SaveProject();
    Command("actNewProject").Run();
    QCOMPARE(FDialogs->Questions.size(), 2);
  }

  void OpenAnsweredNoSavesFirstThenOpens() {
    WriteTextFile(PathOf("current.kvr"), PlainProjectLines());
    WriteTextFile(PathOf("next.kvr"), PlainProjectLines());
    Start({PathOf("current.kvr")});
    FPresenter->Project()->Scenarios().AddByName("Added");
    FPresenter->Project()->SetModified();
    FDialogs->OpenAnswers = {PathOf("next.kvr")};
    FDialogs->ConfirmAnswers = {false};
    QVERIFY(Command("actOpenProject").Run());
    QCOMPARE(FDialogs->Questions,
             QStringList{QStringLiteral(
                 "The current project is not saved.\rChanges will be lost. Proceed?")});
    QVERIFY(ReadTextLines(PathOf("current.kvr")).contains(QStringLiteral("Name2=Added")));
    QCOMPARE(FDialogs->Events,
             (QStringList{"open", "confirm", "deactivate", "caption", "reactivate"}));
    QCOMPARE(FPresenter->Caption(), Prefix + PathOf("next.kvr"));
    QCOMPARE(FPresenter->Project()->FileName(), PathOf("next.kvr").toStdString());
    const TFileDialogOptions& Request = FDialogs->OpenRequests[0];
    QCOMPARE(Request.Title, QStringLiteral("Open Project"));
    QCOMPARE(Request.DefaultSuffix, QStringLiteral("kvr"));
    QVERIFY(Request.Filter.isEmpty());
  }

  void OpenAnsweredNoOnANewProjectOpensEvenWhenSaveAsIsCancelled() {
    WriteTextFile(PathOf("next.kvr"), PlainProjectLines());
    Start();
    FDialogs->OpenAnswers = {PathOf("next.kvr")};
    FDialogs->ConfirmAnswers = {false};
    FDialogs->SaveAnswers = {std::nullopt};
    Command("actOpenProject").Run();
    QCOMPARE(FDialogs->Events,
             (QStringList{"open", "confirm", "save", "deactivate", "caption", "reactivate"}));
    QCOMPARE(FPresenter->Project()->FileName(), PathOf("next.kvr").toStdString());

    // Yes opens without saving; a cancelled open dialog asks nothing.
    FPresenter->Project()->SetModified();
    FDialogs->Events.clear();
    FDialogs->OpenAnswers = {PathOf("next.kvr"), std::nullopt};
    FDialogs->ConfirmAnswers = {true};
    Command("actOpenProject").Run();
    Command("actOpenProject").Run();
    QCOMPARE(FDialogs->Events,
             (QStringList{"open", "confirm", "deactivate", "caption", "reactivate", "open"}));
  }

  void OpenAnsweredNoWhoseSaveFailsKeepsTheChangedProject() {
    // The save raises: the command ends there, and the other file is not
    // opened, so that the changes are not lost.
    WriteTextFile(PathOf("next.kvr"), PlainProjectLines());
    Start();
    TProject* Current = FPresenter->Project();
    Current->SetFileName(PathOf("no-such-folder/p.kvr").toStdString());
    Current->Scenarios().AddByName("Unsaved");
    FDialogs->OpenAnswers = {PathOf("next.kvr")};
    FDialogs->ConfirmAnswers = {false};
    QVERIFY(ErrorOf(Command("actOpenProject")).startsWith(QStringLiteral("Unable to write to")));
    QCOMPARE(FDialogs->Events, (QStringList{"open", "confirm"}));
    QCOMPARE(FPresenter->Project(), Current);
    QCOMPARE(Current->Scenarios().Count(), 2);
    QVERIFY(Current->Modified());
  }

  void AFailedReadShowsItsReportAfterTheViewIsBack() {
    const QString Demo = DemoModulePath();
    WriteTextFile(PathOf("report.kvr"),
                  HeadLines(1, 1) + QStringList{"[Scenarios]", "Name0=Default Scenario",
                                                "[Modules]", "File0=" + Demo, "Load0=1",
                                                "AssignmentCount0=1", "[" + Demo + "]",
                                                "Assign0=TMathTest|Nightly|ENABLED"});
    Start();
    FPresenter->OpenProject(PathOf("report.kvr"));
    QCOMPARE(FDialogs->Events, (QStringList{"deactivate", "caption", "reactivate", "message"}));
    QCOMPARE(FDialogs->Messages[0].Caption, QStringLiteral("Morvane v0.7.0"));
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        QStringLiteral("The following error occurred when loading module \"Demo.so\":\r")));
    QVERIFY(FDialogs->Messages[0].Text.contains(
        QStringLiteral("* TestScenario \"Nightly\" not found.\r")));
    // The new project is current all the same, its module loaded.
    QCOMPARE(FPresenter->Project()->Modules()[0]->State(), msLoadSuccess);
    QCOMPARE(FPresenter->Caption(), Prefix + PathOf("report.kvr"));
  }

  // Every load error names its module once: one raised by the module's own
  // code gets the path in front, one that names it already stays as it is.
  void LoadErrorsNameTheirModule() {
    const QString Raising = QStringLiteral(KALVORO_TEST_MODULES_DIR "/RaisingRegister.so");
    const QString Named = QStringLiteral("Failed to load module \"%1\"\rRegister refused");
    Start();
    QString Error;
    for (const QString& Module : {Raising, PathOf("Missing.so")}) {
      WriteTextFile(PathOf("load.kvr"),
                    HeadLines(1, 1) + QStringList{"[Scenarios]", "Name0=Default Scenario",
                                                  "[Modules]", "File0=" + Module, "Load0=1",
                                                  "AssignmentCount0=0"});
      Error.clear();
      try {
        FPresenter->OpenProject(PathOf("load.kvr"));
      } catch (const std::exception& Raised) {
        Error = QString::fromStdString(Raised.what());
      }
      // Named once in front; the loader's reason (which may name it too) under it.
      QVERIFY(Error.startsWith(QStringLiteral("Failed to load")));
      QCOMPARE(Error.count(QStringLiteral("Failed to load")), 1);
      QVERIFY(Error.section(QLatin1Char('\r'), 0, 0).contains(Module));
    }
    // The missing module's error ends in the dynamic loader's reason.
    QVERIFY(Error.endsWith(QStringLiteral("No such file or directory")));
    TModule Module(Raising.toStdString());
    try {
      LoadNamingModule(Module);
      QFAIL("the load did not fail");
    } catch (const std::exception& Raised) {
      QCOMPARE(QString::fromStdString(Raised.what()), Named.arg(Raising));
    }
    TModule Demo(DemoModulePath().toStdString());
    QVERIFY(LoadNamingModule(Demo));
  }

  // A module built with a sanitizer is a Kalvoro module: the modules view
  // shows the sanitizers beside the kind, and a plain module the kind alone.
  void TheModulesViewShowsTheSanitizersBesideTheKind() {
    const QList<QPair<QString, QString>> Cases = {
        {QStringLiteral(KALVORO_TEST_MODULES_DIR "/SanitizedHeapOverflow.so"),
         "Kalvoro module (ASan, UBSan)"},
        {QStringLiteral(KALVORO_TEST_MODULES_DIR "/SanitizedDataRace.so"), "Kalvoro module (TSan)"},
        {QStringLiteral(KALVORO_TEST_MODULES_DIR "/SanitizedLeak.so"), "Kalvoro module (ASan)"},
        {DemoModulePath(), "Kalvoro module"}};
    Start();
    QStringList Lines = HeadLines(static_cast<int>(Cases.size()), 1) +
                        QStringList{"[Scenarios]", "Name0=Default Scenario", "[Modules]"};
    for (int I = 0; I < Cases.size(); ++I)
      Lines << QStringLiteral("File%1=%2").arg(I).arg(Cases[I].first)
            << QStringLiteral("Load%1=1").arg(I) << QStringLiteral("AssignmentCount%1=0").arg(I);
    WriteTextFile(PathOf("sanitized.kvr"), Lines);
    FPresenter->OpenProject(PathOf("sanitized.kvr"));
    QStringList Kinds;
    for (const TModuleRow& Row : ModuleRows(FPresenter->Project()->Modules()))
      if (Row.Kind == mrkModule)
        Kinds << Row.KindText;
    QStringList Expected;
    for (const auto& Case : Cases)
      Expected << Case.second;
    QCOMPARE(Kinds, Expected);
  }

  void OpeningAMissingFileRaisesAfterTheViewIsBack() {
    Start();
    const QString Missing = PathOf("gone.kvr");
    QString Error;
    try {
      FPresenter->OpenProject(Missing);
    } catch (const Exception& Raised) {
      Error = QString::fromStdString(Raised.what());
    }
    QVERIFY(Error.contains(Missing));
    QCOMPARE(FDialogs->Events, (QStringList{"deactivate", "caption", "reactivate"}));
    // An empty project named after the path, still marked modified.
    QCOMPARE(FPresenter->Project()->FileName(), Missing.toStdString());
    QCOMPARE(FPresenter->Project()->Scenarios().Count(), 0);
    QVERIFY(FPresenter->Project()->Modified());
    QCOMPARE(FPresenter->Caption(), Prefix + Missing);
  }

  void TheCloseQuestionGuardsOnlyUnsavedChanges() {
    Start();
    FDialogs->ConfirmAnswers = {false, true};
    QVERIFY(!FPresenter->CanClose());
    QVERIFY(FPresenter->CanClose());
    QCOMPARE(FDialogs->Questions,
             (QStringList{QStringLiteral("Project is not saved.\rQuit Anyway?"),
                          QStringLiteral("Project is not saved.\rQuit Anyway?")}));
    FPresenter->Project()->SetFileName(PathOf("saved.kvr").toStdString());
    FPresenter->Project()->SaveProject();
    QVERIFY(FPresenter->CanClose());
    QCOMPARE(FDialogs->Questions.size(), 2);
  }

  // One view at a time; choosing the shown one again does nothing; while the
  // project is replaced no view is shown, then the same one is again; a
  // reload of rebuilt modules renews the shown view but the results view.
  void TheWindowShowsOneViewAtATime() {
    TFakeViewHost Host;
    TViewChoice Views(Host);
    QCOMPARE(Views.Shown(), mvNone);
    Views.Show(mvModules);
    Views.Show(mvModules);
    Views.ModulesReloaded();
    Views.Show(mvResults);
    Views.ModulesReloaded();
    Views.PutAside();
    QCOMPARE(Views.Shown(), mvNone);
    Views.ModulesReloaded();
    Views.Restore();
    QCOMPARE(Views.Shown(), mvResults);
    Views.Show(mvNone);
    QCOMPARE(Host.Events, QStringList({"enter 0", "renew 0", "leave 0", "enter 2", "leave 2",
                                       "enter -1", "enter 2", "leave 2", "enter -1"}));
  }

  // The window's own menus and the view's, by group: a view's menu takes the
  // place of an own menu of its group; the rest in group order, own first.
  void TheMenuBarMergesTheViewsMenusByGroup() {
    const auto Own = [](int aIndex) { return TMenuPlace{false, aIndex}; };
    const auto View = [](int aIndex) { return TMenuPlace{true, aIndex}; };
    const struct {
      std::vector<int> Own;
      std::vector<int> View;
      std::vector<TMenuPlace> Bar;
    } Cases[] = {
        {{0, 4, 4, 5}, {}, {Own(0), Own(1), Own(2), Own(3)}},
        {{0, 4, 4, 5}, {1}, {Own(0), View(0), Own(1), Own(2), Own(3)}},
        {{0, 4, 4, 5}, {4}, {Own(0), View(0), Own(3)}},
        {{0, 4, 4, 5}, {5, 1}, {Own(0), View(1), Own(1), Own(2), View(0)}},
        {{0, 5}, {2, 2}, {Own(0), View(0), View(1), Own(1)}},
    };
    for (const auto& Case : Cases)
      QVERIFY(MergedMenus(Case.Own, Case.View) == Case.Bar);
  }
};

// One test program for both halves of the ProjectPresenter tests.
int main(int argc, char** argv) {
  QCoreApplication Application(argc, argv);
  Application.setAttribute(Qt::AA_Use96Dpi, true);
  TProjectPresenterTest Tests;
  const int Failed = QTest::qExec(&Tests, argc, argv);
  return Failed + RunProjectSaveTests(argc, argv);
}

#include "ProjectPresenterTest.moc"
