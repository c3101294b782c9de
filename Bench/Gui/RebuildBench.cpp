// Times the reload of a rebuilt module of 10,000 unit tests (one method each,
// all in "Default Scenario"), from the moment its new file is quiet to the
// modules view showing it, against a Load of the same module (Load All after
// Unload All, up to the view showing it) in the same run. Both list in a fresh
// host and put the unit tests back into their scenario.
#include "Application.h"
#include "FModules.h"
#include "FResults.h"
#include "KindLister.h"
#include "ModuleLister.h"
#include "Project.h"
#include "RebuildWatch.h"
#include "StandardDialogs.h"
#include "TreeView.h"

#include <QFile>
#include <QTemporaryDir>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Kalvoro;

namespace {

using TBenchClock = std::chrono::steady_clock;

double Since(TBenchClock::time_point aStart) {
  return std::chrono::duration<double, std::milli>(TBenchClock::now() - aStart).count();
}

// This process's CPU time (user and system) in milliseconds: on a machine
// that others share, what the program spends whatever else runs. A host's
// listing is the same in a Load and a reload, and is not counted.
double CpuNow() {
  timespec Now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
  return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues[aValues.size() / 2];
}

// Shows the project again in the modules view after a reload, as the main
// window does (the view's rows replaced in one reset).
class TBenchView : public IRebuildView {
public:
  explicit TBenchView(TModulesFrame& aFrame, TProject& aProject)
      : FFrame(aFrame), FProject(aProject) {}
  bool Busy() const override { return false; }
  void Watch(const QStringList& /*aPaths*/) override {}
  void StartLooking() override {}
  void Reloading(bool /*aStarts*/) override {}
  void Reloaded(const TReloadReport& aReport) override {
    Listed = aReport.Modules.size();
    FFrame.Refresh(&FProject);
    QCoreApplication::processEvents();
  }
  std::size_t Listed = 0;

private:
  TModulesFrame& FFrame;
  TProject& FProject;
};

} // namespace

int main(int aArgc, char** aArgv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TMorvaneApplication Application(aArgc, aArgv);
  constexpr int Rounds = 7;
  TKindLister Lister;
  const TModuleListerScope Listing(&Lister);

  QTemporaryDir Folder;
  const QString Built = QStringLiteral(KALVORO_GUI_BENCH_MODULES_DIR "/GuiTenThousand.so");
  const QString Path = Folder.filePath(QStringLiteral("TenThousand.so"));
  QFile File(Built);
  if (!File.open(QIODevice::ReadOnly) || !QFile::copy(Built, Path)) {
    std::fprintf(stderr, "cannot copy the module to %s\n", qPrintable(Path));
    return 2;
  }
  const QByteArray Bytes = File.readAll();
  {
    TProject Project;
    TModule* Module = Project.Modules().AddByFileName(Path.toStdString());
    if (!Module->LoadModule())
      return 2;
    for (TUnitTestBase* UnitTest : Module->UnitTestList())
      Project.Scenarios()[0]->AddUnitTest(UnitTest);

    TStandardDialogs Dialogs;
    TModulesFrame Frame(Dialogs);
    TResultsFrame Results(Dialogs);
    Frame.resize(790, 480);
    Frame.show();
    Frame.Activate(&Project);
    QCoreApplication::processEvents();
    TBenchView View(Frame, Project);
    TRebuildWatch Watch(View);
    Watch.SetResults(&Results.Presenter());
    Watch.SetProject(&Project);

    std::vector<double> Loads;
    std::vector<double> Reloads;
    std::vector<double> Unloads;
    std::vector<double> LoadsCpu;
    std::vector<double> ReloadsCpu;
    for (int Round = 0; Round < Rounds; ++Round) {
      auto Start = TBenchClock::now();
      FindCommand(Frame.Presenter().Commands(), QStringLiteral("actUnloadAll")).Run();
      QCoreApplication::processEvents();
      Unloads.push_back(Since(Start));
      double Cpu = CpuNow();
      Start = TBenchClock::now();
      FindCommand(Frame.Presenter().Commands(), QStringLiteral("actLoadAll")).Run();
      QCoreApplication::processEvents();
      Loads.push_back(Since(Start));
      LoadsCpu.push_back(CpuNow() - Cpu);
      Watch.ModulesChanged();

      // The linker writes the file again; the first look sees it changed,
      // the second sees it quiet and reloads.
      QFile Out(Path);
      if (!Out.open(QIODevice::WriteOnly | QIODevice::Truncate) || Out.write(Bytes) != Bytes.size())
        return 2;
      Out.close();
      Watch.PathChanged(Path);
      Watch.Look();
      View.Listed = 0;
      Cpu = CpuNow();
      Start = TBenchClock::now();
      Watch.Look();
      Reloads.push_back(Since(Start));
      ReloadsCpu.push_back(CpuNow() - Cpu);
      if (View.Listed != 1 || Project.Scenarios()[0]->UnitTestList().Count() != 10000) {
        std::fprintf(stderr, "the reload did not list the module again with its unit tests\n");
        return 1;
      }
    }
    const double Load = Median(Loads);
    const double Reload = Median(Reloads);
    std::printf("module of 10,000 unit tests, %d rows in the modules view\n",
                Frame.Tree()->TotalCount());
    std::printf("Load: median %.0f ms, best %.0f ms (%d rounds)\n", Load,
                *std::min_element(Loads.begin(), Loads.end()), Rounds);
    std::printf("Unload: median %.0f ms\n", Median(Unloads));
    std::printf("reload from the quiet file: median %.0f ms, best %.0f ms\n", Reload,
                *std::min_element(Reloads.begin(), Reloads.end()));
    std::printf("reload / Load: %.2f (target at most 1.5)\n", Reload / Load);
    std::printf("CPU of this process: Load median %.1f ms, reload median %.1f ms, reload / Load "
                "%.2f\n",
                Median(LoadsCpu), Median(ReloadsCpu), Median(ReloadsCpu) / Median(LoadsCpu));
    Frame.Deactivate();
  }
  return 0;
}
