// Times a run of 100,000 methods (200 modules of 50 unit tests with 10
// methods each, the log page and its file enabled) in both programs: Start All
// in the results view with its progress windows on show, against the wall time
// of "kalvoro run" on the same project file, both in hosts (or both in process
// with --in-process); then the results tree's rebuild after that run, and
// filtering that tree against the rebuild.
#include "Actions.h"
#include "Application.h"
#include "FResults.h"
#include "LinesPage.h"
#include "Project.h"
#include "StandardDialogs.h"
#include "TreeView.h"
#include "UnitTestBase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Kalvoro;

namespace {

constexpr int ModuleCount = 200;

// The project: every unit test of every copy in "Default Scenario", enabled.
bool WriteProject(const QTemporaryDir& aFolder, const QString& aPath, bool aHosts) {
  QStringList Modules;
  QStringList Sections;
  for (int I = 0; I < ModuleCount; ++I) {
    const QString Module =
        aFolder.filePath(QStringLiteral("Wide%1.so").arg(I, 3, 10, QLatin1Char('0')));
    if (!QFile::copy(QStringLiteral(KALVORO_GUI_BENCH_MODULES_DIR "/GuiWide.so"), Module))
      return false;
    Modules << QStringLiteral("File%1=%2").arg(I).arg(Module) << QStringLiteral("Load%1=1").arg(I)
            << QStringLiteral("AssignmentCount%1=50").arg(I);
    Sections << QLatin1Char('[') + Module + QLatin1Char(']');
    int Index = 0;
    for (QChar Group : QStringLiteral("ABCDE"))
      for (int Digit = 0; Digit < 10; ++Digit)
        Sections << QStringLiteral("Assign%1=TWide%2%3|Default Scenario|ENABLED")
                        .arg(Index++)
                        .arg(Group)
                        .arg(Digit);
  }
  QFile File(aPath);
  if (!File.open(QIODevice::WriteOnly))
    return false;
  QTextStream Out(&File);
  const QStringList Head = {"[Project]",        "Signature=Kalvoro",
                            "FileVersion=1.0",  QStringLiteral("ModuleCount=%1").arg(ModuleCount),
                            "ScenarioCount=1",  "[FileInfo]",
                            "SummaryEnabled=0", "SummaryFileName=Summary.txt",
                            "LogEnabled=1",     "LogFileName=Log.txt",
                            "ErrorEnabled=0",   "ErrorFileName=Errors.txt",
                            "[Scenarios]",      "Name0=Default Scenario",
                            "[Modules]"};
  const QStringList Options = {"[Kalvoro/Options]", aHosts ? "Hosts=1" : "Hosts=0"};
  for (const QStringList& Part : {Head, Modules, Sections, Options})
    for (const QString& Line : Part)
      Out << Line << "\r\n";
  return true;
}

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

} // namespace

int main(int aArgc, char** aArgv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TMorvaneApplication Application(aArgc, aArgv);
  const bool Hosts = !QCoreApplication::arguments().contains(QStringLiteral("--in-process"));
  QTemporaryDir Folder;
  const QString ProjectPath = Folder.filePath(QStringLiteral("Wide.kvr"));
  if (!WriteProject(Folder, ProjectPath, Hosts)) {
    std::fprintf(stderr, "cannot write the project\n");
    return 2;
  }

  // The console runner: the whole program, loading included.
  std::vector<double> Console;
  for (int Round = 0; Round < 3; ++Round) {
    QElapsedTimer Timer;
    Timer.start();
    QProcess Runner;
    Runner.start(QStringLiteral(KALVORO_EXECUTABLE), {QStringLiteral("run"), ProjectPath});
    Runner.waitForFinished(-1);
    Console.push_back(static_cast<double>(Timer.nsecsElapsed()) / 1e6);
    if (Runner.exitCode() != 0) {
      std::fprintf(stderr, "kalvoro run exited %d\n", Runner.exitCode());
      return 1;
    }
  }

  TOpenProjectResult Opened = OpenProject(ProjectPath.toStdString());
  if (!Opened.Error.empty() || !Opened.Report.empty()) {
    std::fprintf(stderr, "cannot open the project: %s\n", Opened.Error.c_str());
    return 2;
  }
  TStandardDialogs Dialogs;
  TResultsFrame Frame(Dialogs);
  Frame.resize(790, 480);
  Frame.show();
  Frame.Activate(Opened.Project.get());
  QCoreApplication::processEvents();

  std::vector<double> Manager;
  for (int Round = 0; Round < 3; ++Round) {
    QElapsedTimer Timer;
    Timer.start();
    if (!Frame.Action(QStringLiteral("actStartAll"))->Execute())
      return 1;
    Manager.push_back(static_cast<double>(Timer.nsecsElapsed()) / 1e6);
  }
  const auto LogLines = Frame.Presenter().Page(pkLog).Lines().size();

  // RefreshTree after a run: every row's result changes. The results are
  // reset and set again in turn, so that each round changes every row.
  using TClock = std::chrono::steady_clock;
  const auto Millis = [](TClock::time_point aStart) {
    return std::chrono::duration<double, std::milli>(TClock::now() - aStart).count();
  };
  TTestScenario* Scenario = Opened.Project->Scenarios()[0];
  std::vector<double> Refresh;
  for (int Round = 0; Round < 16; ++Round) {
    if (Round % 2 == 0)
      Scenario->ResetResults();
    else
      for (TUnitTestBase* UnitTest : Scenario->UnitTestList())
        for (TUnitTestMethod* Method : UnitTest->Methods())
          Method->SetTestResult(tcrSuccess);
    const auto Start = TClock::now();
    Frame.Presenter().RefreshTree();
    Refresh.push_back(Millis(Start));
  }
  const int Rows = Frame.Tree()->TotalCount();
  // A rebuild from nothing (what Activate does), and where its time goes.
  std::vector<double> Rebuild;
  std::vector<double> RowsOnly;
  for (int Round = 0; Round < 5; ++Round) {
    Frame.Deactivate();
    auto Start = TClock::now();
    Frame.Activate(Opened.Project.get());
    Rebuild.push_back(Millis(Start));
    Start = TClock::now();
    const auto Data = ResultRows(Opened.Project->Scenarios());
    RowsOnly.push_back(Millis(Start));
  }

  // Filtering the full tree (each followed by the layout and repaint it
  // causes) against RefreshTree filling the emptied tree with the same: a
  // part of a method's name, a glob over unit tests, a result toggle that
  // hides every row, clearing.
  std::vector<double> FilledAndShown;
  for (int Round = 0; Round < 5; ++Round) {
    const auto Start = TClock::now();
    Frame.Tree()->Clear();
    Frame.Presenter().RefreshTree();
    QCoreApplication::processEvents();
    FilledAndShown.push_back(Millis(Start));
  }
  const struct {
    const char* Name;
    QString Text;
    unsigned Results;
  } Filters[] = {
      {"\"M3\" (10,000 methods)", QStringLiteral("M3"), rtAllResults},
      {"\"TWideC*\" (2,000 unit tests)", QStringLiteral("TWideC*"), rtAllResults},
      {"failed only (nothing shown)", QString(), rtFailed},
      {"cleared", QString(), rtAllResults},
  };
  std::vector<std::vector<double>> Filtering(std::size(Filters));
  for (int Round = 0; Round < 5; ++Round)
    for (std::size_t I = 0; I < std::size(Filters); ++I) {
      const auto Start = TClock::now();
      Frame.Presenter().SetFilter(Filters[I].Text, Filters[I].Results);
      QCoreApplication::processEvents();
      Filtering[I].push_back(Millis(Start));
    }

  std::printf("results view: %d rows, %zu log lines, %s\n", Rows,
              static_cast<std::size_t>(LogLines), Hosts ? "in hosts" : "in process");
  std::printf("kalvoro run (wall): median %.0f ms\n", Median(Console));
  std::printf("Start All in the manager: median %.0f ms\n", Median(Manager));
  std::printf("ratio manager / console: %.2f (target <= %s)\n", Median(Manager) / Median(Console),
              Hosts ? "1.3" : "1.5");
  std::printf("RefreshTree after a run: median %.1f ms, worst %.1f ms (target < 150 ms)\n",
              Median(Refresh), *std::max_element(Refresh.begin(), Refresh.end()));
  std::printf("the tree built from nothing (Activate): median %.1f ms, of it the rows as data "
              "%.1f ms\n",
              Median(Rebuild), Median(RowsOnly));
  std::printf("RefreshTree filling the tree, with its layout and repaint: median %.1f ms\n",
              Median(FilledAndShown));
  for (std::size_t I = 0; I < std::size(Filters); ++I)
    std::printf("filter %s with its layout and repaint: median %.1f ms, %.2f of RefreshTree "
                "(target <= 0.5)\n",
                Filters[I].Name, Median(Filtering[I]),
                Median(Filtering[I]) / Median(FilledAndShown));
  Frame.Deactivate();
  return Rows == 1 + ModuleCount * 50 * 11 ? 0 : 1;
}
