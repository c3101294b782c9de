// Times the modules view's rebuild on a project of 200 loaded modules with 50
// unit tests of 10 methods each (100,000 method rows, 110,200 rows in all).
#include "Application.h"
#include "FModules.h"
#include "Project.h"
#include "StandardDialogs.h"
#include "TreeView.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Kalvoro;

int main(int aArgc, char** aArgv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TMorvaneApplication Application(aArgc, aArgv);
  constexpr int ModuleCount = 200;
  constexpr int Rounds = 15;

  // Each module is its own file, so that each is loaded on its own.
  QTemporaryDir Folder;
  TProject Project;
  for (int I = 0; I < ModuleCount; ++I) {
    const QString Path =
        Folder.filePath(QStringLiteral("Wide%1.so").arg(I, 3, 10, QLatin1Char('0')));
    if (!QFile::copy(QStringLiteral(KALVORO_GUI_BENCH_MODULES_DIR "/GuiWide.so"), Path)) {
      std::fprintf(stderr, "cannot copy the module to %s\n", qPrintable(Path));
      return 2;
    }
    Project.Modules().AddByFileName(Path.toStdString())->LoadModule();
  }

  TStandardDialogs Dialogs;
  TModulesFrame Frame(Dialogs);
  Frame.resize(790, 480);
  Frame.show();
  Frame.Activate(&Project);
  QCoreApplication::processEvents();
  const int Rows = Frame.Tree()->TotalCount();
  // A row half-way down is selected, as a user's would be.
  Frame.Tree()->SetSelected(Frame.Tree()->NodeAtFlatIndex(Rows / 2), true);

  using TClock = std::chrono::steady_clock;
  std::vector<double> Rebuild;
  std::vector<double> WithPaint;
  for (int Round = 0; Round < Rounds; ++Round) {
    const auto Start = TClock::now();
    Frame.RefreshTree();
    const auto Built = TClock::now();
    Frame.Tree()->viewport()->repaint();
    QCoreApplication::processEvents();
    const auto Painted = TClock::now();
    Rebuild.push_back(std::chrono::duration<double, std::milli>(Built - Start).count());
    WithPaint.push_back(std::chrono::duration<double, std::milli>(Painted - Start).count());
  }
  std::sort(Rebuild.begin(), Rebuild.end());
  std::sort(WithPaint.begin(), WithPaint.end());
  std::printf("modules view: %d modules, %d rows\n", ModuleCount, Rows);
  std::printf("RefreshTree: median %.1f ms, best %.1f ms, worst %.1f ms (%d rounds)\n",
              Rebuild[Rebuild.size() / 2], Rebuild.front(), Rebuild.back(), Rounds);
  std::printf("RefreshTree + repaint: median %.1f ms\n", WithPaint[WithPaint.size() / 2]);
  Frame.Deactivate();
  return Rows == ModuleCount * (1 + 50 * 11) ? 0 : 1;
}
