// Times the scenarios view on a project of 100 loaded modules with 1,000 unit
// tests each: 50,000 unit tests in 1,000 scenarios of 50 and 50,000 available.
// Measures the rebuild of both trees (RefreshAll), Enable of 10,000 selected
// rows including the rebuild, and Add All of the 50,000 available unit tests.
#include "Application.h"
#include "FScenarios.h"
#include "Project.h"
#include "StandardDialogs.h"
#include "TreeView.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace Kalvoro;

namespace {

// Wall-clock and processor time of one run of a body, in milliseconds. The
// processor time is what counts on a machine shared with other work.
struct TTime {
  double Wall = 0;
  double Cpu = 0;
};

double CpuNow() {
  timespec Now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
  return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

TTime Measure(const std::function<void()>& aBody) {
  const auto Start = std::chrono::steady_clock::now();
  const double CpuStart = CpuNow();
  aBody();
  return {
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count(),
      CpuNow() - CpuStart};
}

void Report(const char* aWhat, std::vector<TTime> aTimes) {
  std::vector<double> Wall;
  std::vector<double> Cpu;
  for (const TTime& Time : aTimes) {
    Wall.push_back(Time.Wall);
    Cpu.push_back(Time.Cpu);
  }
  std::sort(Wall.begin(), Wall.end());
  std::sort(Cpu.begin(), Cpu.end());
  std::printf("%s: median %.1f ms (best %.1f, worst %.1f), processor time median %.1f ms (best "
              "%.1f), %zu rounds\n",
              aWhat, Wall[Wall.size() / 2], Wall.front(), Wall.back(), Cpu[Cpu.size() / 2],
              Cpu.front(), Wall.size());
}

// Selects the scenario tree's rows at the flat indexes, in one go.
void Select(TTreeView& aTree, const std::vector<int>& aRows) {
  QItemSelection Selection;
  for (int Row : aRows) {
    const QModelIndex Index = aTree.IndexOf(aTree.NodeAtFlatIndex(Row));
    Selection.select(Index, Index.siblingAtColumn(1));
  }
  aTree.selectionModel()->setCurrentIndex(aTree.IndexOf(aTree.NodeAtFlatIndex(aRows.front())),
                                          QItemSelectionModel::NoUpdate);
  aTree.selectionModel()->select(Selection, QItemSelectionModel::ClearAndSelect);
}

} // namespace

int main(int aArgc, char** aArgv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TMorvaneApplication Application(aArgc, aArgv);
  constexpr int ModuleCount = 100;
  constexpr int ScenarioCount = 1000;
  constexpr int PerScenario = 50;
  constexpr int Rounds = 15;

  QTemporaryDir Folder;
  TProject Project;
  for (int I = 0; I < ModuleCount; ++I) {
    const QString Path =
        Folder.filePath(QStringLiteral("Many%1.so").arg(I, 3, 10, QLatin1Char('0')));
    if (!QFile::copy(QStringLiteral(KALVORO_GUI_BENCH_MODULES_DIR "/GuiMany.so"), Path)) {
      std::fprintf(stderr, "cannot copy the module to %s\n", qPrintable(Path));
      return 2;
    }
    Project.Modules().AddByFileName(Path.toStdString())->LoadModule();
  }
  // Scenario i takes 50 unit tests of module i / 10; the other half stays available.
  Project.Scenarios().Delete(0);
  for (int I = 0; I < ScenarioCount; ++I) {
    TTestScenario* Scenario = Project.Scenarios().AddByName("Scenario " + std::to_string(I));
    const TUnitTestList& UnitTests = Project.Modules()[I / 10]->UnitTestList();
    for (int J = 0; J < PerScenario; ++J)
      Scenario->AddUnitTest(UnitTests[(I % 10) * PerScenario + J]);
  }

  TStandardDialogs Dialogs;
  TScenariosFrame Frame(Dialogs);
  Frame.resize(790, 480);
  Frame.show();
  Frame.Activate(&Project);
  QCoreApplication::processEvents();
  TTreeView& Tree = *Frame.Tree();
  const int Rows = Tree.TotalCount();
  const int Available = Frame.UnitTestsTree()->TotalCount();
  std::printf("scenarios view: %d scenarios, %d scenario-tree rows, %d available\n", ScenarioCount,
              Rows, Available);

  std::vector<TTime> Refresh;
  std::vector<TTime> WithPaint;
  Select(Tree, {Rows / 2});
  for (int Round = 0; Round < Rounds; ++Round) {
    Refresh.push_back(Measure([&] { Frame.Presenter().RefreshAll(); }));
    WithPaint.push_back(Measure([&] {
      Frame.Presenter().RefreshAll();
      Tree.viewport()->repaint();
      Frame.UnitTestsTree()->viewport()->repaint();
      QCoreApplication::processEvents();
    }));
  }
  Report("RefreshAll", Refresh);
  Report("RefreshAll + repaint", WithPaint);

  // 10,000 unit-test rows: those of the first 200 scenarios.
  std::vector<int> Selected;
  for (int I = 0; I < 200; ++I)
    for (int J = 0; J < PerScenario; ++J)
      Selected.push_back(I * (PerScenario + 1) + 1 + J);
  const TCommand& Enable = FindCommand(Frame.Presenter().Commands(), QStringLiteral("actEnable"));
  const TCommand& Disable = FindCommand(Frame.Presenter().Commands(), QStringLiteral("actDisable"));
  std::vector<TTime> Enabling;
  bool Kept = true;
  for (int Round = 0; Round < Rounds; ++Round) {
    Select(Tree, Selected);
    Disable.Run();
    Kept = Kept && Tree.SelectedCount() == static_cast<int>(Selected.size());
    Enabling.push_back(Measure([&] { Enable.Run(); }));
  }
  Report("Enable of 10,000 selected rows", Enabling);

  // Add All into the first scenario, then back out of it (not timed).
  const TCommand& AddAll = FindCommand(Frame.Presenter().Commands(), QStringLiteral("actAddAll"));
  std::vector<TTime> Adding;
  TTestScenario* Target = Project.Scenarios()[0];
  bool AllAdded = true;
  for (int Round = 0; Round < 3; ++Round) {
    Select(Tree, {0});
    Adding.push_back(Measure([&] { AddAll.Run(); }));
    AllAdded = AllAdded && Frame.UnitTestsTree()->TotalCount() == 0 &&
               Target->GetUnitTestCount() == PerScenario + Available;
    while (Target->GetUnitTestCount() > PerScenario)
      Target->RemoveUnitTest(Target->GetUnitTest(Target->GetUnitTestCount() - 1));
    Frame.Presenter().RefreshAll();
  }
  Report("Add All of 50,000", Adding);
  Frame.Deactivate();
  return Rows == ScenarioCount * (PerScenario + 1) && Available == 50000 && Kept && AllAdded ? 0
                                                                                             : 1;
}
