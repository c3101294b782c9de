// The results view's failures without widgets: the next and previous
// failure, the details pane's text, opening a failure in the user's editor (a
// fake launcher: no editor ever starts) and copying failures, on the
// fixture's five scenarios.
#include "ResultsPresenterFixture.h"

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

class TResultsFailuresPresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

  const TCommand& Command(const char* aName) {
    return FindCommand(FPresenter->Commands(), QLatin1String(aName));
  }

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

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

int RunResultsFailuresTests(int argc, char** argv) {
  TResultsFailuresPresenterTest Tests;
  return QTest::qExec(&Tests, argc, argv);
}

#include "ResultsFailuresPresenterTest.moc"
