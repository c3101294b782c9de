// The main window's project lifecycle without widgets: start-up, New, Open,
// Save and Save As with their questions and dialogs, the caption, load reports
// and errors that reach the caller after the view is back, and the close
// question. Dialogs and the window's view switching are recorded as one
// sequence of events.
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
QStringList HeadLines(int aModules, int aScenarios) {
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
QStringList PlainProjectLines() {
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

} // namespace

class TProjectPresenterTest : public QObject {
  Q_OBJECT

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

private slots:
  void init() {
    SetApplicationTitle(QStringLiteral("Morvane v0.7.0"));
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FView = std::make_unique<TFakeProjectView>(*FDialogs);
    FPresenter = std::make_unique<TProjectPresenter>(*FDialogs, *FView);
  }
  void cleanup() {
    FPresenter.reset();
    FView.reset();
    FDialogs.reset();
    FFolder.reset();
  }

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

  void SaveWithoutANameAsksForOne() {
    Start();
    FDialogs->SaveAnswers = {std::nullopt, PathOf("chosen.kvr"), std::nullopt};
    Command("actSaveProject").Run();
    QCOMPARE(FDialogs->SaveRequests.size(), 1);
    const TFileDialogOptions& Request = FDialogs->SaveRequests[0];
    QCOMPARE(Request.Title, QStringLiteral("Save Project As"));
    QCOMPARE(Request.DefaultSuffix, QStringLiteral("kvr"));
    QCOMPARE(Request.FileName, QStringLiteral("Untitled.kvr"));
    QVERIFY(!Request.ConfirmOverwrite);
    QVERIFY(Request.Filter.isEmpty());
    // Cancelled: nothing changes.
    QVERIFY(FPresenter->Project()->Modified());
    QCOMPARE(FDialogs->Events, QStringList{"save"});

    Command("actSaveProject").Run();
    QCOMPARE(FPresenter->Caption(), Prefix + PathOf("chosen.kvr"));
    QVERIFY(QFile::exists(PathOf("chosen.kvr")));
    QVERIFY(!FPresenter->Project()->Modified());
    QVERIFY(!Command("actSaveProject").Enabled());
    // Save with a name writes without a dialog and leaves the caption; Save As
    // starts from the last name.
    FPresenter->Project()->SetModified();
    FDialogs->Events.clear();
    Command("actSaveProject").Run();
    QVERIFY(FDialogs->Events.isEmpty());
    Command("actSaveProjectAs").Run();
    QCOMPARE(FDialogs->SaveRequests[2].FileName, PathOf("chosen.kvr"));
  }

  void AFailedSaveAsLeavesTheProjectUnsavedUnderItsNewName() {
    Start();
    const QString Unwritable = PathOf("no-such-folder/p.kvr");
    FDialogs->SaveAnswers = {Unwritable};
    QVERIFY(ErrorOf(Command("actSaveProjectAs")).startsWith(QStringLiteral("Unable to write to")));
    QVERIFY(FPresenter->Project()->Modified());
    QVERIFY(Command("actSaveProject").Enabled());
    // The caption names the project's file, as the project now does.
    QCOMPARE(FPresenter->Project()->FileName(), Unwritable.toStdString());
    QCOMPARE(FPresenter->Caption(), Prefix + Unwritable);
    FDialogs->ConfirmAnswers = {false};
    QVERIFY(!FPresenter->CanClose());
  }

  // A failed save says why, as report files do. The full device is a small
  // file system of its own, which only root can mount: elsewhere that row
  // is skipped.
  void AFailedSaveGivesTheReason_data() {
    QTest::addColumn<QString>("Where");
    QTest::addColumn<QString>("Reason");
    QTest::newRow("missing folder") << "no-such-folder"
                                    << "No such file or directory";
    QTest::newRow("file for a folder") << "a-file"
                                       << "Not a directory";
    QTest::newRow("folder nobody may write") << "/sys"
                                             << "Permission denied";
    QTest::newRow("full device") << "full"
                                 << "No space left on device";
  }
  void AFailedSaveGivesTheReason() {
    QFETCH(QString, Where);
    QFETCH(QString, Reason);
    WriteTextFile(PathOf("a-file"), {});
    const QString Folder = Where.startsWith('/') ? Where : PathOf(Where);
    std::unique_ptr<TSmallFileSystem> Full;
    if (Where == "full") {
      Full = std::make_unique<TSmallFileSystem>(Folder);
      if (!Full->Filled())
        QSKIP("no file system could be mounted and filled here (not root)");
    }
    Start();
    FPresenter->Project()->SetFileName(ToPath(Folder + "/p.kvr"));
    QCOMPARE(ErrorOf(Command("actSaveProject")),
             "Unable to write to " + Folder + "/p.kvr: " + Reason);
    QVERIFY(FPresenter->Project()->Modified());
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

  // Two programs on one project: a save over a file that someone else wrote
  // since this program opened or saved it asks first, and No keeps their file
  // and leaves ours unsaved. Each row: what happens to the file between the
  // open and the save, the answer, whether it is asked, whether ours lands.
  void SavingOverAFileChangedElsewhereAsksFirst_data() {
    QTest::addColumn<QString>("Change");
    QTest::addColumn<bool>("Answer");
    QTest::addColumn<bool>("Asked");
    QTest::addColumn<bool>("Saved");
    QTest::newRow("untouched") << "" << false << false << true;
    QTest::newRow("our own save") << "save" << false << false << true;
    QTest::newRow("replaced, No") << "replace" << false << true << false;
    QTest::newRow("replaced, Yes") << "replace" << true << true << true;
    QTest::newRow("written in place") << "write" << false << true << false;
    QTest::newRow("only its time") << "touch" << false << true << false;
    QTest::newRow("replaced after our save") << "save replace" << false << true << false;
    QTest::newRow("removed") << "remove" << false << false << true;
  }
  void SavingOverAFileChangedElsewhereAsksFirst() {
    QFETCH(QString, Change);
    QFETCH(bool, Answer);
    QFETCH(bool, Asked);
    QFETCH(bool, Saved);
    const QString File = PathOf("p.kvr");
    const QStringList Theirs = HeadLines(0, 1) + QStringList{"[Scenarios]", "Name0=Theirs"};
    WriteTextFile(File, PlainProjectLines());
    Start({File});
    TProject* Project = FPresenter->Project();
    if (Change.contains("save")) {
      Project->Scenarios().AddByName("Earlier");
      Project->SetModified();
      QVERIFY(Command("actSaveProject").Run());
    }
    if (Change.contains("replace")) {
      WriteTextFile(PathOf("theirs.kvr"), Theirs);
      QCOMPARE(std::rename(qPrintable(PathOf("theirs.kvr")), qPrintable(File)), 0);
    } else if (Change == "write") {
      WriteTextFile(File, Theirs);
    } else if (Change == "touch") {
      QFile Touched(File);
      QVERIFY(Touched.open(QIODevice::ReadWrite));
      QVERIFY(Touched.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                  QFileDevice::FileModificationTime));
    } else if (Change == "remove") {
      QVERIFY(QFile::remove(File));
    }
    const QStringList Before = ReadTextLines(File);
    Project->Scenarios().AddByName("Ours");
    Project->SetModified();
    FDialogs->Events.clear();
    FDialogs->ConfirmAnswers = {Answer};
    QVERIFY(Command("actSaveProject").Run());
    QCOMPARE(FDialogs->Events, Asked ? QStringList{"confirm"} : QStringList());
    if (Asked)
      QCOMPARE(FDialogs->Questions.last(),
               File + "\rThe file has been changed by another program since it was opened or "
                      "saved here.\rSave over it?");
    QCOMPARE(ReadTextLines(File).join('\n').contains(QStringLiteral("=Ours")), Saved);
    if (!Saved)
      QCOMPARE(ReadTextLines(File), Before);
    QCOMPARE(Project->Modified(), !Saved);
    // Once saved here, the next save asks nothing.
    if (Saved) {
      Project->SetModified();
      QVERIFY(Command("actSaveProject").Run());
      QCOMPARE(FDialogs->Questions.size(), Asked ? 1 : 0);
    }
  }

  // Open answered No saves first; No to saving over a file changed elsewhere
  // stops the Open too, so that the project it would close stays.
  void OpenWaitsOnASaveDeclinedOverAChangedFile() {
    WriteTextFile(PathOf("current.kvr"), PlainProjectLines());
    WriteTextFile(PathOf("next.kvr"), PlainProjectLines());
    Start({PathOf("current.kvr")});
    TProject* Current = FPresenter->Project();
    Current->Scenarios().AddByName("Unsaved");
    Current->SetModified();
    WriteTextFile(PathOf("current.kvr"), HeadLines(0, 0));
    FDialogs->OpenAnswers = {PathOf("next.kvr")};
    FDialogs->ConfirmAnswers = {false, false};
    QVERIFY(Command("actOpenProject").Run());
    QCOMPARE(FDialogs->Events, (QStringList{"open", "confirm", "confirm"}));
    QCOMPARE(FPresenter->Project(), Current);
    QVERIFY(Current->Modified());
    QCOMPARE(ReadTextLines(PathOf("current.kvr")), HeadLines(0, 0));
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
};

QTEST_GUILESS_MAIN(TProjectPresenterTest)
#include "ProjectPresenterTest.moc"
