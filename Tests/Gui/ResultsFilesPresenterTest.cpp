// The results view's files without widgets: the report files after a run, a
// write that fails, the file controls, the chooser and the save buttons.
#include "ResultsPresenterFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Kalvoro;
using namespace ResultsPresenterTests;

namespace {

// A test that moves the program into another folder, "elsewhere".
class TWanderer : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestWander); }
  void TestWander() {
    QDir().mkdir(QStringLiteral("elsewhere"));
    Check(QDir::setCurrent(QStringLiteral("elsewhere")), "moved");
  }
};

} // namespace

class TResultsFilesPresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void TickedPagesGoToTheTypedNamesAfterARun() {
    MarkSaved();
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkSummary, true);
    Info.SetFileName(pkSummary, "summary.txt");
    Info.SetEnabled(pkErrors, true);
    Info.SetFileName(pkErrors, InFolder(QStringLiteral("errors.txt")).toStdString());
    Info.SetFileName(pkLog, "log.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    QVERIFY(!FProject->Modified());
    // A typed name is used by the run, relative to the project's folder, but
    // not stored.
    FPresenter->FileNameEdited(pkSummary, QStringLiteral("typed.txt"));
    FPresenter->StartAll();
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("summary.txt"))));
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("log.txt"))));
    QCOMPARE(ReadTextLines(InFolder(QStringLiteral("typed.txt"))), Texts(Lines(pkSummary)));
    QFile Errors(InFolder(QStringLiteral("errors.txt")));
    QVERIFY(Errors.open(QIODevice::ReadOnly));
    QCOMPARE(Errors.readAll(), QByteArray("FAILURE (TMixed.TestFail) fails\r\n"
                                          "EXCEPTION (TRaising.TestRaise) raised\r\n"));
    QCOMPARE(Info.Page(pkSummary).FileName, std::string("summary.txt"));
    QVERIFY(!FProject->Modified());
    // The next Activate shows the project's setting again.
    FPresenter->Activate(FProject.get());
    QCOMPARE(FPresenter->FileControls(pkSummary).FileName, QStringLiteral("summary.txt"));
  }

  // Relative page names of a project without a folder of its own (untitled,
  // or opened by a relative path) count from the working directory as it was
  // when the run started, whatever the tests do with it.
  void PageFilesAreNamedWhenTheRunStarts_data() {
    QTest::addColumn<QString>("ProjectFile");
    QTest::newRow("untitled") << QString();
    QTest::newRow("opened by a relative path") << QStringLiteral("p.kvr");
  }
  void PageFilesAreNamedWhenTheRunStarts() {
    QFETCH(QString, ProjectFile);
    const QString Before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(FFolder->path()));
    FProject->SetFileName(ProjectFile.toStdString());
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkSummary, true);
    Info.SetFileName(pkSummary, "Summary.txt");
    Info.SetEnabled(pkLog, true);
    Info.SetFileName(pkLog, "Log.txt");
    Info.SetEnabled(pkErrors, true);
    Info.SetFileName(pkErrors, "Error.txt");
    Add(MakeUnitTest<TWanderer>(&FModule, "TWanderer"), Scenario(0));
    FPresenter->Activate(FProject.get());
    FPresenter->StartAll();
    const QString After = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Before));
    QCOMPARE(After, InFolder(QStringLiteral("elsewhere")));
    for (const char* Name : {"Summary.txt", "Log.txt", "Error.txt"}) {
      QVERIFY2(QFile::exists(InFolder(QLatin1String(Name))), Name);
      QVERIFY2(!QFile::exists(InFolder(QStringLiteral("elsewhere/") + QLatin1String(Name))), Name);
    }
  }

  void AFailedWriteIsReportedAndTheOtherPagesAreWritten() {
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkSummary, true);
    Info.SetEnabled(pkLog, true);
    Info.SetEnabled(pkErrors, true);
    Info.SetFileName(pkSummary, InFolder(QStringLiteral("s.txt")).toStdString());
    Info.SetFileName(pkLog, InFolder(QStringLiteral("missing/l.txt")).toStdString());
    Info.SetFileName(pkErrors, InFolder(QStringLiteral("e.txt")).toStdString());
    FPresenter->Activate(FProject.get());
    try {
      FPresenter->StartAll();
      QFAIL("a page that cannot be written must be reported");
    } catch (const Exception& Error) {
      QVERIFY(QString::fromStdString(Error.what()).contains(QStringLiteral("missing/l.txt")));
    }
    QVERIFY(QFile::exists(InFolder(QStringLiteral("s.txt"))));
    QVERIFY(QFile::exists(InFolder(QStringLiteral("e.txt"))));
    // The run itself is complete.
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("FAILURE"));
    // A ticked page whose name is empty fails; the pages after it are written.
    QFile::remove(InFolder(QStringLiteral("e.txt")));
    FPresenter->FileNameEdited(pkSummary, QString());
    FPresenter->FileNameEdited(pkLog, InFolder(QStringLiteral("l.txt")));
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QVERIFY(QFile::exists(InFolder(QStringLiteral("l.txt"))));
    QVERIFY(QFile::exists(InFolder(QStringLiteral("e.txt"))));
  }

  void APageFileThatIsTheProjectOrAModuleIsRefusedBeforeTheRun() {
    const QString ProjectFile = InFolder(QStringLiteral("p.kvr"));
    WriteTextFile(ProjectFile, {QStringLiteral("[Project]")});
    FProject->SetFileName(ProjectFile.toStdString());
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkLog, true);
    Info.SetFileName(pkLog, "p.kvr");
    FPresenter->Activate(FProject.get());
    const QStringList Before = ReadTextLines(ProjectFile);
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QCOMPARE(ReadTextLines(ProjectFile), Before);
    // Nothing ran.
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("TODO"));
    // A loaded module is refused the same way, however its name is spelt.
    TModule* Module = FProject->Modules().AddByFileName(DemoModulePath().toStdString());
    Module->LoadModule();
    const QString Module2 = QFileInfo(DemoModulePath()).absolutePath() + QStringLiteral("/./") +
                            QFileInfo(DemoModulePath()).fileName();
    FPresenter->FileNameEdited(pkLog, Module2);
    const qint64 Size = QFileInfo(DemoModulePath()).size();
    try {
      FPresenter->StartAll();
      QFAIL("a page named like a loaded module must be refused");
    } catch (const Exception& Error) {
      QVERIFY(QString::fromStdString(Error.what()).contains(QStringLiteral("module")));
    }
    QCOMPARE(QFileInfo(DemoModulePath()).size(), Size);
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("TODO"));
  }

  void FileControlsFollowTheProjectAndItsBoxes() {
    TFileInfo& Info = FProject->FileInfo();
    Info.SetEnabled(pkLog, true);
    Info.SetFileName(pkLog, "log.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    // Showing an enabled file's settings is no change of the project.
    QVERIFY(!FProject->Modified());
    QVERIFY(FView.Shown > 0);
    QCOMPARE(FPresenter->FileControls(pkLog).FileName, QStringLiteral("log.txt"));
    QVERIFY(FPresenter->FileControls(pkLog).ToFile);
    QVERIFY(FPresenter->FileControls(pkLog).Editable);
    QVERIFY(!FPresenter->FileControls(pkSummary).ToFile);
    QVERIFY(!FPresenter->FileControls(pkSummary).Editable);
    // A click marks the project modified, stores the flag, shows it.
    FPresenter->ToFileClicked(pkSummary, true);
    QVERIFY(FProject->Modified());
    QVERIFY(Info.Page(pkSummary).Enabled);
    QVERIFY(FPresenter->FileControls(pkSummary).Editable);
    FPresenter->ToFileClicked(pkLog, false);
    QVERIFY(!Info.Page(pkLog).Enabled);
    QVERIFY(!FPresenter->FileControls(pkLog).Editable);

    // The chooser starts from the project's name (in the project's folder),
    // stores the choice and marks the project modified; a cancel changes nothing.
    MarkSaved();
    FDialogs->OpenAnswers << std::nullopt << InFolder(QStringLiteral("chosen.txt"));
    FPresenter->ChooseFile(pkLog);
    QVERIFY(!FProject->Modified());
    QCOMPARE(Info.Page(pkLog).FileName, std::string("log.txt"));
    FPresenter->ChooseFile(pkLog);
    QVERIFY(FProject->Modified());
    QCOMPARE(QString::fromStdString(Info.Page(pkLog).FileName),
             InFolder(QStringLiteral("chosen.txt")));
    QCOMPARE(FPresenter->FileControls(pkLog).FileName, InFolder(QStringLiteral("chosen.txt")));
    QCOMPARE(FDialogs->OpenRequests.size(), 2);
    const TFileDialogOptions& Asked = FDialogs->OpenRequests[0];
    QCOMPARE(Asked.Title, QStringLiteral("Choose the \"Log\" file"));
    QCOMPARE(Asked.FileName, InFolder(QStringLiteral("log.txt")));
    QCOMPARE(Asked.DefaultSuffix, QStringLiteral("txt"));
    QVERIFY(Asked.Filter.isEmpty());
    QVERIFY(!Asked.FileMustExist);
    // A read-only file is refused with a message and the dialog asked again.
    const QString ReadOnly = InFolder(QStringLiteral("readonly.txt"));
    WriteTextFile(ReadOnly, {QStringLiteral("kept")});
    QFile::setPermissions(ReadOnly, QFile::ReadOwner | QFile::ReadUser);
    FDialogs->OpenAnswers << ReadOnly << std::nullopt;
    FPresenter->ChooseFile(pkLog);
    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        ReadOnly + QStringLiteral("\rThis file is set to read-only.")));
    QCOMPARE(FDialogs->OpenRequests.size(), 4);
    QCOMPARE(QString::fromStdString(Info.Page(pkLog).FileName),
             InFolder(QStringLiteral("chosen.txt")));
    FDialogs->OpenAnswers << std::nullopt << std::nullopt;
    FPresenter->ChooseFile(pkSummary);
    FPresenter->ChooseFile(pkErrors);
    QCOMPARE(FDialogs->OpenRequests[4].Title, QStringLiteral("Choose the \"Summary\" file"));
    QCOMPARE(FDialogs->OpenRequests[5].Title, QStringLiteral("Choose the \"Error\" file"));
  }

  void SaveButtonsWriteAPageToAFileChosenNow() {
    FProject->FileInfo().SetFileName(pkErrors, "errors.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    FPresenter->StartAll();
    // The dialog starts from the project's name even when the box shows another.
    FPresenter->FileNameEdited(pkErrors, QStringLiteral("typed.txt"));
    const QString Target = InFolder(QStringLiteral("saved.txt"));
    FDialogs->SaveAnswers << std::nullopt << Target;
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actSaveErrors")).Run());
    QVERIFY(!QFile::exists(Target));
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actSaveErrors")).Run());
    QCOMPARE(ReadTextLines(Target), Texts(Lines(pkErrors)));
    const TFileDialogOptions& Asked = FDialogs->SaveRequests[0];
    QCOMPARE(Asked.Title, QStringLiteral("Save \"Errors\" to file"));
    QCOMPARE(Asked.FileName, InFolder(QStringLiteral("errors.txt")));
    QCOMPARE(Asked.DefaultSuffix, QStringLiteral("txt"));
    QVERIFY(Asked.ConfirmOverwrite);
    QCOMPARE(FProject->FileInfo().Page(pkErrors).FileName, std::string("errors.txt"));
    QVERIFY(!FProject->Modified());
    FDialogs->SaveAnswers << std::nullopt << std::nullopt;
    FPresenter->SavePage(pkSummary);
    FPresenter->SavePage(pkLog);
    QCOMPARE(FDialogs->SaveRequests[2].Title, QStringLiteral("Save \"Summary\" to file"));
    QCOMPARE(FDialogs->SaveRequests[3].Title, QStringLiteral("Save \"Log\" to file"));
  }
};

QTEST_GUILESS_MAIN(TResultsFilesPresenterTest)
#include "ResultsFilesPresenterTest.moc"
