// The results view's logic without widgets: the rows of its tree, the rules of
// Start and Start All, the runs in their order, the report files after a run,
// the file controls and the save buttons, with scripted dialogs and plain runs.
#include "PresenterTestSupport.h"

#include "Exception.h"
#include "LinesPage.h"
#include "Project.h"
#include "ResultsPresenter.h"
#include "UnitTest.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Kalvoro;

namespace {

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

QStringList Texts(const std::vector<std::string>& aLines) {
  QStringList Result;
  for (const std::string& Line : aLines)
    Result << QString::fromStdString(Line);
  return Result;
}

// Log lines with their date and time masked.
QStringList Masked(const std::vector<std::string>& aLines) {
  static const QRegularExpression Stamp(
      QStringLiteral("\\(\\d\\d.\\d\\d.\\d{4} \\d\\d.\\d\\d.\\d\\d\\)"));
  QStringList Result = Texts(aLines);
  for (QString& Line : Result)
    Line.replace(Stamp, QStringLiteral("(T)"));
  return Result;
}

// The view: a current row set by the test; rebuilds and shows counted.
class TFakeView : public IResultsView {
public:
  int CurrentRow() const override { return Current; }
  void RefreshTree() override { ++Rebuilt; }
  void ShowFileControls() override { ++Shown; }

  int Current = -1;
  int Rebuilt = 0;
  int Shown = 0;
};

} // namespace

class TResultsPresenterTest : public QObject {
  Q_OBJECT

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
  const std::vector<std::string>& Lines(TResultPage aPage) {
    return FPresenter->Page(aPage).Lines();
  }
  QString InFolder(const QString& aName) { return FFolder->filePath(aName); }
  // Saves the project so that its Modified flag is clear.
  void MarkSaved() {
    FProject->SetFileName(InFolder(QStringLiteral("p.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }

private slots:
  void init() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
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
    Info.SetSummaryEnabled(false);
    Info.SetLogEnabled(false);
    Info.SetErrorEnabled(false);
    FView = TFakeView();
    FPresenter = std::make_unique<TResultsPresenter>(*FDialogs, FView);
  }
  void cleanup() {
    FPresenter.reset();
    FProject.reset();
    FUnitTests.clear();
  }

  void RowsShowEachScenarioWithTheWorstResultOfItsUnitTests() {
    FPresenter->Activate(FProject.get());
    const QStringList Before = {
        "Default Scenario=TODO", "TPassing=TODO", "TestAdd=TODO", "TMixed=TODO",
        "TestPass=TODO",         "TestFail=TODO", "Broken=TODO",  "TRaising=TODO",
        "TestRaise=TODO",        "Empty=TODO",    "Later=TODO",   "TSkipped=TODO",
        "TestAdd=TODO"};
    QCOMPARE(Statuses(), Before);
    const std::vector<TResultRow>& Rows = FPresenter->Rows();
    QCOMPARE(Rows[0].Kind, rrkScenario);
    QCOMPARE(Rows[0].Scenario, Scenario(0));
    QCOMPARE(Rows[0].Image, rtiScenario);
    QCOMPARE(Rows[1].Image, rtiUnitTest);
    QCOMPARE(Rows[1].UnitTest, FUnitTests[0].get());
    QCOMPARE(Rows[2].Image, rtiMethod);
    QCOMPARE(Rows[2].Method, FUnitTests[0]->Methods()[0]);
    QCOMPARE(Rows[2].Level(), 2);
    QCOMPARE(Rows[9].StatusImage, rtiTodo);

    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStartAll")).Run());
    // SUCCESS and FAILURE give FAILURE; an empty scenario and a disabled unit
    // test (its methods too) stay TODO.
    const QStringList After = {"Default Scenario=FAILURE",
                               "TPassing=SUCCESS",
                               "TestAdd=SUCCESS",
                               "TMixed=FAILURE",
                               "TestPass=SUCCESS",
                               "TestFail=FAILURE",
                               "Broken=EXCEPTION",
                               "TRaising=EXCEPTION",
                               "TestRaise=EXCEPTION",
                               "Empty=TODO",
                               "Later=TODO",
                               "TSkipped=TODO",
                               "TestAdd=TODO"};
    QCOMPARE(Statuses(), After);
    QCOMPARE(Rows[0].StatusImage, rtiFailure);
    QCOMPARE(Rows[1].StatusImage, rtiSuccess);
    QCOMPARE(Rows[6].StatusImage, rtiException);
    // Out-of-range results read as not run.
    QCOMPARE(ResultText(static_cast<TUnitTestResult>(9)), QStringLiteral("TODO"));
    QCOMPARE(ResultImageIndex(static_cast<TUnitTestResult>(9)), rtiTodo);
  }

  void StartRunsOnlyTheScenarioOfTheSelectedScenarioRow() {
    QVERIFY(!Enabled("actStart"));
    QVERIFY(!Enabled("actStartAll"));
    FPresenter->Activate(FProject.get());
    QCOMPARE(FView.Rebuilt, 1);
    QVERIFY(Enabled("actStartAll"));
    const TCommand& Start = FindCommand(FPresenter->Commands(), QStringLiteral("actStart"));
    QCOMPARE(Start.Shortcut, QKeySequence(QStringLiteral("Ctrl+S")));
    // No row, a unit-test row, a method row: disabled, and running does nothing.
    for (int Row : {-1, 1, 2}) {
      FView.Current = Row;
      QVERIFY(!Start.Enabled());
      QVERIFY(!Start.Run());
    }
    QVERIFY(Lines(rpLog).empty());
    QCOMPARE(FView.Rebuilt, 1);
    // The scenario row "Broken": only that scenario runs.
    FView.Current = 6;
    QVERIFY(Start.Enabled());
    QVERIFY(Start.Run());
    QCOMPARE(FView.Rebuilt, 2);
    QCOMPARE(Masked(Lines(rpLog)).first(), QStringLiteral("BEGIN Broken (T)"));
    QCOMPARE(Masked(Lines(rpLog)).last(), QStringLiteral("END Broken (T)"));
    QCOMPARE(FUnitTests[0]->TestResult(), tcrTodo);
    QCOMPARE(FUnitTests[2]->TestResult(), tcrException);
    // Without a project nothing can start.
    FPresenter->Deactivate();
    QVERIFY(FPresenter->Rows().empty());
    QVERIFY(!Enabled("actStart"));
    QVERIFY(!Enabled("actStartAll"));
    QVERIFY(!Lines(rpLog).empty());
  }

  void StartAllRunsEveryScenarioInOrderIntoFreshPages() {
    FPresenter->Activate(FProject.get());
    FView.Current = 0;
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStart")).Run());
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStartAll")).Run());
    const QStringList Log = Masked(Lines(rpLog));
    // The earlier run's lines are gone; each scenario, the disabled "Later"
    // too, has its BEGIN and END; "Empty" has nothing between them.
    QStringList Outer;
    for (const QString& Line : Log)
      if (!Line.startsWith(QLatin1Char(' ')))
        Outer << Line;
    QCOMPARE(Outer, QStringList({"BEGIN Default Scenario (T)", "END Default Scenario (T)",
                                 "BEGIN Broken (T)", "END Broken (T)", "BEGIN Empty (T)",
                                 "END Empty (T)", "BEGIN Later (T)", "END Later (T)"}));
    QCOMPARE(Log.indexOf(QStringLiteral("END Empty (T)")),
             Log.indexOf(QStringLiteral("BEGIN Empty (T)")) + 1);
    QCOMPARE(Texts(Lines(rpErrors)), QStringList({"FAILURE (TMixed.TestFail) fails",
                                                  "EXCEPTION (TRaising.TestRaise) raised"}));
    // Four summary reports, each opening with an empty line and the banner.
    const QStringList Summary = Texts(Lines(rpSummary));
    QCOMPARE(Summary.count(QStringLiteral("Kalvoro Console Summary")), 4);
    QCOMPARE(Summary.first(), QString());
    QCOMPARE(Summary.count(QStringLiteral("Total number of UnitTest Methods = 0")), 1);
    QVERIFY(Summary.contains(QStringLiteral("SKIPPED   TSkipped.TestAdd")));
    QCOMPARE(Summary.count(QStringLiteral("# Skipped    = 1")), 1);
    // Every sink left its scenario.
    for (TTestScenario* Each : FProject->Scenarios())
      QCOMPARE(Each->StateNotifications().Count(), 0);
  }

  void TickedPagesGoToTheTypedNamesAfterARun() {
    MarkSaved();
    TFileInfo& Info = FProject->FileInfo();
    Info.SetSummaryEnabled(true);
    Info.SetSummaryFileName("summary.txt");
    Info.SetErrorEnabled(true);
    Info.SetErrorFileName(InFolder(QStringLiteral("errors.txt")).toStdString());
    Info.SetLogFileName("log.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    QVERIFY(!FProject->Modified());
    // A typed name is used by the run, relative to the project's folder, but
    // not stored.
    FPresenter->FileNameEdited(rpSummary, QStringLiteral("typed.txt"));
    FPresenter->StartAll();
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("summary.txt"))));
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("log.txt"))));
    QCOMPARE(ReadTextLines(InFolder(QStringLiteral("typed.txt"))), Texts(Lines(rpSummary)));
    QFile Errors(InFolder(QStringLiteral("errors.txt")));
    QVERIFY(Errors.open(QIODevice::ReadOnly));
    QCOMPARE(Errors.readAll(), QByteArray("FAILURE (TMixed.TestFail) fails\r\n"
                                          "EXCEPTION (TRaising.TestRaise) raised\r\n"));
    QCOMPARE(Info.SummaryFileName(), std::string("summary.txt"));
    QVERIFY(!FProject->Modified());
    // The next Activate shows the project's setting again.
    FPresenter->Activate(FProject.get());
    QCOMPARE(FPresenter->FileControls(rpSummary).FileName, QStringLiteral("summary.txt"));
  }

  void AFailedWriteStopsTheLaterPages() {
    TFileInfo& Info = FProject->FileInfo();
    Info.SetSummaryEnabled(true);
    Info.SetLogEnabled(true);
    Info.SetErrorEnabled(true);
    Info.SetSummaryFileName(InFolder(QStringLiteral("s.txt")).toStdString());
    Info.SetLogFileName(InFolder(QStringLiteral("missing/l.txt")).toStdString());
    Info.SetErrorFileName(InFolder(QStringLiteral("e.txt")).toStdString());
    FPresenter->Activate(FProject.get());
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QVERIFY(QFile::exists(InFolder(QStringLiteral("s.txt"))));
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("e.txt"))));
    // The run itself is complete.
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("FAILURE"));
    // A ticked page whose name is empty fails at that page.
    QFile::remove(InFolder(QStringLiteral("s.txt")));
    FPresenter->FileNameEdited(rpSummary, QString());
    FPresenter->FileNameEdited(rpLog, InFolder(QStringLiteral("l.txt")));
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("l.txt"))));
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("e.txt"))));
  }

  void FileControlsFollowTheProjectAndItsBoxes() {
    TFileInfo& Info = FProject->FileInfo();
    Info.SetLogEnabled(true);
    Info.SetLogFileName("log.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    // Showing an enabled file's settings is no change of the project.
    QVERIFY(!FProject->Modified());
    QVERIFY(FView.Shown > 0);
    QCOMPARE(FPresenter->FileControls(rpLog).FileName, QStringLiteral("log.txt"));
    QVERIFY(FPresenter->FileControls(rpLog).ToFile);
    QVERIFY(FPresenter->FileControls(rpLog).Editable);
    QVERIFY(!FPresenter->FileControls(rpSummary).ToFile);
    QVERIFY(!FPresenter->FileControls(rpSummary).Editable);
    // A click marks the project modified, stores the flag, shows it.
    FPresenter->ToFileClicked(rpSummary, true);
    QVERIFY(FProject->Modified());
    QVERIFY(Info.SummaryEnabled());
    QVERIFY(FPresenter->FileControls(rpSummary).Editable);
    FPresenter->ToFileClicked(rpLog, false);
    QVERIFY(!Info.LogEnabled());
    QVERIFY(!FPresenter->FileControls(rpLog).Editable);

    // The chooser starts from the project's name (in the project's folder),
    // stores the choice and marks the project modified; a cancel changes nothing.
    MarkSaved();
    FDialogs->OpenAnswers << std::nullopt << InFolder(QStringLiteral("chosen.txt"));
    FPresenter->ChooseFile(rpLog);
    QVERIFY(!FProject->Modified());
    QCOMPARE(Info.LogFileName(), std::string("log.txt"));
    FPresenter->ChooseFile(rpLog);
    QVERIFY(FProject->Modified());
    QCOMPARE(QString::fromStdString(Info.LogFileName()), InFolder(QStringLiteral("chosen.txt")));
    QCOMPARE(FPresenter->FileControls(rpLog).FileName, InFolder(QStringLiteral("chosen.txt")));
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
    FPresenter->ChooseFile(rpLog);
    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        ReadOnly + QStringLiteral("\rThis file is set to read-only.")));
    QCOMPARE(FDialogs->OpenRequests.size(), 4);
    QCOMPARE(QString::fromStdString(Info.LogFileName()), InFolder(QStringLiteral("chosen.txt")));
    FDialogs->OpenAnswers << std::nullopt << std::nullopt;
    FPresenter->ChooseFile(rpSummary);
    FPresenter->ChooseFile(rpErrors);
    QCOMPARE(FDialogs->OpenRequests[4].Title, QStringLiteral("Choose the \"Summary\" file"));
    QCOMPARE(FDialogs->OpenRequests[5].Title, QStringLiteral("Choose the \"Error\" file"));
  }

  void SaveButtonsWriteAPageToAFileChosenNow() {
    FProject->FileInfo().SetErrorFileName("errors.txt");
    MarkSaved();
    FPresenter->Activate(FProject.get());
    FPresenter->StartAll();
    // The dialog starts from the project's name even when the box shows another.
    FPresenter->FileNameEdited(rpErrors, QStringLiteral("typed.txt"));
    const QString Target = InFolder(QStringLiteral("saved.txt"));
    FDialogs->SaveAnswers << std::nullopt << Target;
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actSaveErrors")).Run());
    QVERIFY(!QFile::exists(Target));
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actSaveErrors")).Run());
    QCOMPARE(ReadTextLines(Target), Texts(Lines(rpErrors)));
    const TFileDialogOptions& Asked = FDialogs->SaveRequests[0];
    QCOMPARE(Asked.Title, QStringLiteral("Save \"Errors\" to file"));
    QCOMPARE(Asked.FileName, InFolder(QStringLiteral("errors.txt")));
    QCOMPARE(Asked.DefaultSuffix, QStringLiteral("txt"));
    QVERIFY(Asked.ConfirmOverwrite);
    QCOMPARE(FProject->FileInfo().ErrorFileName(), std::string("errors.txt"));
    QVERIFY(!FProject->Modified());
    FDialogs->SaveAnswers << std::nullopt << std::nullopt;
    FPresenter->SavePage(rpSummary);
    FPresenter->SavePage(rpLog);
    QCOMPARE(FDialogs->SaveRequests[2].Title, QStringLiteral("Save \"Summary\" to file"));
    QCOMPARE(FDialogs->SaveRequests[3].Title, QStringLiteral("Save \"Log\" to file"));
  }

  void ARunThatRaisesStillShowsWhatRanAndFreesItsSink() {
    FProject->FileInfo().SetSummaryEnabled(true);
    FProject->FileInfo().SetSummaryFileName(InFolder(QStringLiteral("s.txt")).toStdString());
    FPresenter->Activate(FProject.get());
    // The second scenario's run fails after it ran.
    FPresenter->SetRunStep([](TTestScenario& aScenario) {
      aScenario.Run();
      if (aScenario.Name() == "Broken")
        throw Exception("out of memory");
    });
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("FAILURE"));
    QCOMPARE(FPresenter->Rows()[6].Status, QStringLiteral("EXCEPTION"));
    QCOMPARE(Masked(Lines(rpLog)).last(), QStringLiteral("END Broken (T)"));
    QCOMPARE(Texts(Lines(rpSummary)).count(QStringLiteral("Kalvoro Console Summary")), 1);
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("s.txt"))));
    QCOMPARE(Scenario(1)->StateNotifications().Count(), 0);
  }
};

QTEST_GUILESS_MAIN(TResultsPresenterTest)
#include "ResultsPresenterTest.moc"
