// The results view's everyday commands without widgets: the filter over the
// tree's rows, Run Selected and Run Failed, the next and previous failure,
// the details pane's text and opening a failure in the user's editor (a
// fake launcher: no editor ever starts), on the fixture's five scenarios.
#include "ResultsPresenterFixture.h"

#include "ChosenMethods.h"
#include "ProgressPresenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Kalvoro;
using namespace ResultsPresenterTests;

namespace {

// Records what would start; answers as told.
class TFakeLauncher : public IEditorLauncher {
public:
  QString Template() const override { return FTemplate; }
  void SetTemplate(const QString& aTemplate) override { FTemplate = aTemplate; }
  bool Start(const TEditorCommand& aCommand) override {
    Calls << (QStringList{aCommand.Program} + aCommand.Arguments).join(QLatin1Char('|'));
    return Starts;
  }
  bool OpenWithDesktop(const QString& aFile) override {
    Calls << QStringLiteral("desktop|") + aFile;
    return Starts;
  }

  QString FTemplate;
  bool Starts = true;
  QStringList Calls;
};

} // namespace

class TResultsChoicePresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

  // The texts of the rows that the filter shows.
  QStringList ShownTexts() {
    QStringList Result;
    for (int Row = 0; Row < static_cast<int>(FPresenter->Rows().size()); ++Row)
      if (FPresenter->RowShown(Row))
        Result << FPresenter->Rows()[static_cast<std::size_t>(Row)].Text;
    return Result;
  }
  const TCommand& Command(const char* aName) {
    return FindCommand(FPresenter->Commands(), QLatin1String(aName));
  }
  // The outer lines of the log: each scenario's BEGIN and END.
  QStringList Outer() {
    QStringList Result;
    for (const QString& Line : Masked(Lines(pkLog)))
      if (!Line.startsWith(QLatin1Char(' ')))
        Result << Line;
    return Result;
  }

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void TheFilterShowsMatchingRowsWithTheirParentsAndTheirMatchedParentsChildren() {
    FPresenter->Activate(FProject.get());
    QVERIFY(Command("actStartAll").Run());
    const struct {
      const char* Text;
      unsigned Results;
      QStringList Shown;
    } Cases[] = {
        // A part of a name, in any case; a unit test's match shows its methods.
        {"testadd",
         rtAllResults,
         {"Default Scenario", "TPassing", "TestAdd", "Later", "TSkipped", "TestAdd"}},
        {"MIXED", rtAllResults, {"Default Scenario", "TMixed", "TestPass", "TestFail"}},
        // With '*' or '?' the glob covers the whole name.
        {"test?ail", rtAllResults, {"Default Scenario", "TMixed", "TestFail"}},
        {"*raise", rtAllResults, {"Broken", "TRaising", "TestRaise"}},
        {"raise*x", rtAllResults, {}},
        // The result toggles, alone and with text.
        {"", rtFailed, {"Default Scenario", "TMixed", "TestFail"}},
        {"", rtException, {"Broken", "TRaising", "TestRaise"}},
        {"", rtNotRun, {"Empty", "Later", "TSkipped", "TestAdd"}},
        {"",
         rtSuccess | rtFailed,
         {"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass", "TestFail"}},
        {"pass", rtSuccess, {"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass"}},
        {"raise", rtSuccess, {}},
        {"", 0, {}},
    };
    for (const auto& Case : Cases) {
      const int Before = FView.Filtered;
      FPresenter->SetFilter(QLatin1String(Case.Text), Case.Results);
      QCOMPARE(FView.Filtered, Before + 1);
      QVERIFY2(ShownTexts() == Case.Shown, Case.Text);
    }
    // An empty box with every result hides nothing: the tree comes back whole.
    FPresenter->SetFilter(QString());
    QVERIFY(FPresenter->HiddenRows().empty());
    QCOMPARE(ShownTexts().size(), static_cast<qsizetype>(FPresenter->Rows().size()));
    // A filter holds across runs: after Run Failed the toggles see new results.
    FPresenter->SetFilter(QString(), rtSuccess);
    QVERIFY(Command("actStartAll").Run());
    QCOMPARE(ShownTexts(),
             QStringList({"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass"}));
  }

  void RunSelectedRunsTheSelectedRowsMethodsInOneRunAndTheRestShowNotRun() {
    FPresenter->Activate(FProject.get());
    // One window over the run: the scenarios it ran, its total and the
    // methods it counted done.
    QStringList Totals;
    FPresenter->SetWholeRunStep([&Totals](const TWholeRun& aRun) {
      TProgressPresenter Progress(aRun.Scenarios);
      QStringList Ran;
      Progress.RunAll(aRun.Hosts, aRun.RunAll, [&](TTestScenario& aScenario) {
        Ran << QString::fromStdString(Progress.ScenarioName());
        aRun.RunOne(aScenario);
      });
      Totals << QStringLiteral("%1 %2/%3")
                    .arg(Ran.join(QLatin1Char('+')))
                    .arg(Progress.Position())
                    .arg(Progress.Maximum());
    });
    const TCommand& RunSelected = Command("actRunSelected");
    QCOMPARE(RunSelected.Shortcut, QKeySequence(QStringLiteral("Ctrl+R")));
    const struct {
      std::vector<int> Selected;
      QStringList Totals;  // one window each
      QStringList Results; // of rows 1 to 12 that ran, the rest TODO
    } Cases[] = {
        // A method alone; the rest of its scenario shows not run.
        {{5}, {"Default Scenario 1/1"}, {"TMixed=FAILURE", "TestFail=FAILURE"}},
        // A unit test takes its methods; a scenario its enabled unit tests.
        {{3}, {"Default Scenario 2/2"}, {"TMixed=FAILURE", "TestPass=SUCCESS", "TestFail=FAILURE"}},
        {{0},
         {"Default Scenario 3/3"},
         {"TPassing=SUCCESS", "TestAdd=SUCCESS", "TMixed=FAILURE", "TestPass=SUCCESS",
          "TestFail=FAILURE"}},
        // Rows of two scenarios: one run over both, in the tree's order.
        {{8, 2},
         {"Default Scenario+Broken 2/2"},
         {"TPassing=SUCCESS", "TestAdd=SUCCESS", "TRaising=EXCEPTION", "TestRaise=EXCEPTION"}},
        // A disabled unit test runs when its own row is selected.
        {{11}, {"Later 1/1"}, {"TSkipped=SUCCESS", "TestAdd=SUCCESS"}},
    };
    for (const auto& Case : Cases) {
      FView.Selected = Case.Selected;
      Totals.clear();
      QVERIFY(RunSelected.Enabled());
      QVERIFY(RunSelected.Run());
      QCOMPARE(Totals, Case.Totals);
      QStringList Ran;
      for (std::size_t Row = 1; Row < FPresenter->Rows().size(); ++Row) {
        const TResultRow& Each = FPresenter->Rows()[Row];
        if (Each.Kind != rrkScenario && Each.Status != QStringLiteral("TODO"))
          Ran << Each.Text + QLatin1Char('=') + Each.Status;
      }
      QCOMPARE(Ran, Case.Results);
    }
    // The log holds the last run only; the disabled unit test stays disabled
    // and no scenario keeps the run's plan.
    QCOMPARE(Outer(), QStringList({"BEGIN Later (T)", "END Later (T)"}));
    QVERIFY(!FUnitTests[3]->Enabled());
    for (TTestScenario* Each : FProject->Scenarios())
      QCOMPARE(Each->RunPlan(), nullptr);
    // A method's own row names it (a test that its framework runs only by
    // name runs then); one taken through its scenario's row does not.
    const TChosenMethods Chosen = TChosenMethods::Selected(FPresenter->Rows(), {5, 0});
    const TUnitTestBase& Mixed = *FPresenter->Rows()[3].UnitTest;
    QCOMPARE(Chosen.Count(), 3);
    QCOMPARE(std::make_pair(Chosen.Named(Mixed, 0), Chosen.Named(Mixed, 1)),
             std::make_pair(false, true));
    QVERIFY(!Chosen.Named(*FPresenter->Rows()[1].UnitTest, 0));
    // Nothing to run: no selection, an empty scenario, a scenario whose only
    // unit test is disabled.
    for (const std::vector<int>& Selected : {std::vector<int>{}, {9}, {10}}) {
      FView.Selected = Selected;
      QVERIFY(!RunSelected.Enabled());
    }
  }

  void RunFailedRunsOnlyTheMethodsThatFailedOrRaisedInTheLastRun() {
    FPresenter->Activate(FProject.get());
    const TCommand& RunFailed = Command("actRunFailed");
    QCOMPARE(RunFailed.Shortcut, QKeySequence(QStringLiteral("Ctrl+Shift+R")));
    QVERIFY(!RunFailed.Enabled());
    QVERIFY(Command("actStartAll").Run());
    QVERIFY(RunFailed.Enabled());
    QVERIFY(RunFailed.Run());
    QCOMPARE(Statuses(),
             QStringList({"Default Scenario=FAILURE", "TPassing=TODO", "TestAdd=TODO",
                          "TMixed=FAILURE", "TestPass=TODO", "TestFail=FAILURE", "Broken=EXCEPTION",
                          "TRaising=EXCEPTION", "TestRaise=EXCEPTION", "Empty=TODO", "Later=TODO",
                          "TSkipped=TODO", "TestAdd=TODO"}));
    QCOMPARE(Outer(), QStringList({"BEGIN Default Scenario (T)", "END Default Scenario (T)",
                                   "BEGIN Broken (T)", "END Broken (T)"}));
    QCOMPARE(Texts(Lines(pkErrors)), QStringList({"FAILURE (TMixed.TestFail) fails",
                                                  "EXCEPTION (TRaising.TestRaise) raised"}));
  }

  // After a reload the last run runs again: the same scenario, or the same
  // rows by their names, with the same log.
  void TheLastRunRunsAgainAsItRanFirst() {
    FPresenter->Activate(FProject.get());
    FPresenter->RepeatLastRun();
    QVERIFY(!FPresenter->HasLastRun());
    QVERIFY(Lines(pkLog).empty());
    const struct {
      const char* Command;
      std::vector<int> Selected; // the current row first
    } Cases[] = {
        {"actStart", {6}}, {"actStartAll", {}}, {"actRunSelected", {2, 7}}, {"actRunFailed", {}}};
    for (const auto& Case : Cases) {
      FView.Selected = Case.Selected;
      FView.Current = Case.Selected.empty() ? -1 : Case.Selected.front();
      QVERIFY2(FindCommand(FPresenter->Commands(), QLatin1String(Case.Command)).Run(),
               Case.Command);
      const QStringList Log = Masked(Lines(pkLog));
      const QStringList Results = Statuses();
      // Another row is current meanwhile, and the pages are empty.
      FView.Current = 0;
      FView.Selected = {0};
      FPresenter->ClearOutput();
      FPresenter->RepeatLastRun();
      QCOMPARE(Masked(Lines(pkLog)), Log);
      QCOMPARE(Statuses(), Results);
    }
  }

  void NextAndPreviousFailureSelectTheShownFailedMethodsInTurn() {
    FPresenter->Activate(FProject.get());
    QVERIFY(!Command("actNextFailure").Enabled());
    QVERIFY(Command("actStartAll").Run());
    QCOMPARE(Command("actNextFailure").Shortcut, QKeySequence(Qt::Key_F8));
    QCOMPARE(Command("actPreviousFailure").Shortcut, QKeySequence(Qt::SHIFT | Qt::Key_F8));
    const struct {
      const char* Filter;
      int From;
      const char* Command;
      int Selected;
    } Cases[] = {
        {"", -1, "actNextFailure", 5},     {"", 5, "actNextFailure", 8},
        {"", 8, "actNextFailure", 5},      {"", 0, "actPreviousFailure", 8},
        {"", 8, "actPreviousFailure", 5},  {"", -1, "actPreviousFailure", 8},
        {"raise", 8, "actNextFailure", 8}, {"raise", 0, "actPreviousFailure", 8},
    };
    for (const auto& Case : Cases) {
      FPresenter->SetFilter(QLatin1String(Case.Filter));
      FView.Current = Case.From;
      FView.Selected.clear();
      QVERIFY(Command(Case.Command).Run());
      QCOMPARE(FView.Current, Case.Selected);
      QCOMPARE(FView.Selected, std::vector<int>{Case.Selected});
    }
    // No failure shown: nothing to go to.
    FPresenter->SetFilter(QStringLiteral("TestAdd"));
    QVERIFY(!Command("actNextFailure").Enabled());
  }

  void TheDetailsTellWhatEachRowsLastRunReported() {
    FPresenter->Activate(FProject.get());
    QCOMPARE(FPresenter->Details(5),
             QStringList({"TMixed.TestFail: TODO", "Not run in the last run"}));
    QVERIFY(Command("actStartAll").Run());
    // Each line matched in turn as a pattern; the duration varies.
    const struct {
      int Row;
      QStringList Lines;
    } Cases[] = {
        {5,
         {"^TMixed\\.TestFail: FAILURE$", "^FAILURE .*ResultsPresenterFixture\\.h:\\d+: fails$",
          "^Duration: [0-9.]+ m?s$", "^Output: not captured in process$"}},
        {8,
         {"^TRaising\\.TestRaise: EXCEPTION$", "^EXCEPTION in Method: raised$",
          "^Duration: [0-9.]+ m?s$", "^Output: not captured in process$"}},
        {2,
         {"^TPassing\\.TestAdd: SUCCESS$", "^Duration: [0-9.]+ m?s$",
          "^Output: not captured in process$"}},
        {12, {"^TSkipped\\.TestAdd: TODO$", "^Not run in the last run$"}},
        {0, {"^Default Scenario: 3 methods$", "^SUCCESS 2, FAILURE 1, EXCEPTION 0, TODO 0$"}},
        {3, {"^TMixed: 2 methods$", "^SUCCESS 1, FAILURE 1, EXCEPTION 0, TODO 0$"}},
        {9, {"^Empty: 0 methods$", "^SUCCESS 0, FAILURE 0, EXCEPTION 0, TODO 0$"}},
        {-1, {}},
    };
    for (const auto& Case : Cases) {
      const QStringList Lines = FPresenter->Details(Case.Row);
      QVERIFY2(Lines.size() == Case.Lines.size(), qPrintable(Lines.join(QLatin1Char('|'))));
      for (qsizetype I = 0; I < Lines.size(); ++I)
        QVERIFY2(QRegularExpression(Case.Lines[I]).match(Lines[I]).hasMatch(),
                 qPrintable(Lines[I]));
    }
  }

  void AFailureOpensAtItsLineInTheUsersEditorOrSaysWhyNot() {
    FPresenter->Activate(FProject.get());
    TFakeLauncher Launcher;
    QCOMPARE(FPresenter->OpenFailure(5), QString()); // no launcher: nothing
    QVERIFY(!Command("actOpenFailure").Enabled());
    QString Status;
    FPresenter->SetStatusText([&Status](const QString& aText) { Status = aText; });
    FPresenter->SetEditorLauncher(&Launcher);
    QVERIFY(Command("actStartAll").Run());
    // The failed check's place as the compiler named the file (often
    // relative); the project's folder lies so that it is found from there.
    const QRegularExpressionMatch Place =
        QRegularExpression(QStringLiteral("^FAILURE (.*):(\\d+): fails$"))
            .match(FPresenter->Details(5).value(1));
    QVERIFY(Place.hasMatch());
    const QString Named = Place.captured(1);
    const QString Line = Place.captured(2);
    const QString ProjectFolder = InFolder(QStringLiteral("p/q/r/s/t/u"));
    QVERIFY(QDir().mkpath(ProjectFolder));
    QString Found = Named;
    if (QFileInfo(Named).isRelative()) {
      Found = QDir::cleanPath(QDir(ProjectFolder).absoluteFilePath(Named));
      QVERIFY(QDir().mkpath(QFileInfo(Found).absolutePath()));
      QFile Copy(Found);
      QVERIFY(Copy.open(QIODevice::WriteOnly));
    }
    FProject->SetFileName((ProjectFolder + QStringLiteral("/p.kvr")).toStdString());
    const struct {
      const char* Template;
      bool Starts;
      int Row;
      QString Call;
      QString Status;
    } Cases[] = {
        {"code -g {file}:{line}", true, 5, "code|-g|" + Found + ':' + Line, ""},
        // Split as words, never by a shell: a quoted word stays one argument.
        {"my-edit \"a b\" +{line} {file}", true, 5, "my-edit|a b|+" + Line + '|' + Found, ""},
        {"", true, 5, "desktop|" + Found, ""},
        {"gvim +{line} {file}", false, 5, "gvim|+" + Line + '|' + Found,
         "The editor \"gvim\" could not be started"},
        // A passing method, a unit test, an exception without a place.
        {"code -g {file}:{line}", true, 2, "", ""},
        {"code -g {file}:{line}", true, 3, "", ""},
        {"code -g {file}:{line}", true, 8, "", ""},
    };
    for (const auto& Case : Cases) {
      Launcher.FTemplate = QLatin1String(Case.Template);
      Launcher.Starts = Case.Starts;
      Launcher.Calls.clear();
      QCOMPARE(FPresenter->OpenFailure(Case.Row), Case.Status);
      QCOMPARE(Launcher.Calls, Case.Call.isEmpty() ? QStringList() : QStringList{Case.Call});
      // Open in Editor on the current row: the same, its status to the status bar.
      FView.Current = Case.Row;
      Launcher.Calls.clear();
      Status.clear();
      QCOMPARE(Command("actOpenFailure").Run(), !Case.Call.isEmpty());
      QCOMPARE(Launcher.Calls, Case.Call.isEmpty() ? QStringList() : QStringList{Case.Call});
      QCOMPARE(Status, Case.Status);
    }
    if (QFileInfo(Named).isRelative()) {
      // The fake module's folder is the working folder: put it deep in the
      // scratch folder, where nothing above it holds the file.
      const QString Before = QDir::currentPath();
      const QString ModuleFolder = InFolder(QStringLiteral("m/n/o/p/q/r/s/t"));
      QVERIFY(QDir().mkpath(ModuleFolder) && QDir::setCurrent(ModuleFolder));
      QVERIFY(QFile::remove(Found));
      // A file found nowhere is said so and nothing starts.
      Launcher.FTemplate = QStringLiteral("code -g {file}:{line}");
      Launcher.Calls.clear();
      const QString NotFound = FPresenter->OpenFailure(5);
      const QStringList NotFoundCalls = Launcher.Calls;
      // Found from a folder above the module's, where a build names it from.
      const QString Above = QDir::cleanPath(
          QDir(ModuleFolder)
              .absoluteFilePath(QStringLiteral("..") +
                                QString(QStringLiteral("/..")).repeated(Named.count("../")) + '/' +
                                Named));
      QVERIFY(QDir().mkpath(QFileInfo(Above).absolutePath()));
      QVERIFY(QFile(Above).open(QIODevice::WriteOnly));
      Launcher.Calls.clear();
      const QString FoundAbove = FPresenter->OpenFailure(5);
      QDir::setCurrent(Before);
      QCOMPARE(NotFound, QStringLiteral("File not found: ") + Named);
      QVERIFY(NotFoundCalls.isEmpty());
      QCOMPARE(FoundAbove, QString());
      QCOMPARE(Launcher.Calls, QStringList{"code|-g|" + Above + ':' + Line});
    }
  }

  void CopyFailureGivesTheRowsFailuresAsTheConsolePrintsThem() {
    FPresenter->Activate(FProject.get());
    QString Copied;
    FPresenter->SetClipboard([&Copied](const QString& aText) { Copied = aText; });
    QVERIFY(Command("actStartAll").Run());
    const struct {
      int Row;
      QString Text;
    } Cases[] = {
        {5, "FAILURE (TMixed.TestFail) fails"},
        {3, "FAILURE (TMixed.TestFail) fails"},
        {0, "FAILURE (TMixed.TestFail) fails"},
        {6, "EXCEPTION (TRaising.TestRaise) raised"},
        {2, ""},
        {9, ""},
    };
    for (const auto& Case : Cases) {
      FView.Current = Case.Row;
      Copied.clear();
      QCOMPARE(FPresenter->FailureText(Case.Row), Case.Text);
      QCOMPARE(Command("actCopyFailure").Run(), !Case.Text.isEmpty());
      QCOMPARE(Copied, Case.Text);
    }
  }
};

QTEST_GUILESS_MAIN(TResultsChoicePresenterTest)
#include "ResultsChoicePresenterTest.moc"
