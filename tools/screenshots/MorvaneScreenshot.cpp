// Takes the picture of the main window for the docs: the modules view with the
// demo module loaded, and optionally of the about box.
// Usage: MorvaneScreenshot OUTPUT.png [ABOUT.png] (under xvfb-run).
#include "GuiTestSupport.h"
#include "StandardDialogs.h"

#include "FMain.h"
#include "FModules.h"
#include "Project.h"
#include "TreeView.h"

#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace Kalvoro;

int main(int aArgc, char** aArgv) {
  TMorvaneApplication Application(aArgc, aArgv);
  Application.setWindowIcon(ApplicationIcon());
  InitializeIconTheme();
  if (aArgc != 2 && aArgc != 3) {
    std::fprintf(stderr, "usage: MorvaneScreenshot OUTPUT.png [ABOUT.png]\n");
    return 2;
  }
  TFakeDialogs Dialogs;
  Application.SetDialogs(&Dialogs);
  bool AboutSaved = aArgc == 2;
  Dialogs.OnExecute = [&](QDialog& aDialog) {
    aDialog.show();
    RunIdle();
    AboutSaved = aDialog.grab().save(QString::fromLocal8Bit(aArgv[2]));
    return int(QDialog::Accepted);
  };

  QTemporaryDir Folder;
  const QString Demo = DemoModulePath();
  const QString ProjectPath = Folder.filePath(QStringLiteral("Demo.kvr"));
  const QString Reports = Folder.path() + QLatin1Char('/');
  QStringList Lines{"[Project]",        "Signature=Kalvoro",
                    "FileVersion=1.0",  "ModuleCount=1",
                    "ScenarioCount=2",  "[FileInfo]",
                    "SummaryEnabled=1", "SummaryFileName=" + Reports + "Summary.txt",
                    "LogEnabled=1",     "LogFileName=" + Reports + "Log.txt",
                    "ErrorEnabled=1",   "ErrorFileName=" + Reports + "Error.txt",
                    "[Scenarios]",      "Name0=Default Scenario",
                    "Name1=Smoke",      "[Modules]",
                    "File0=" + Demo,    "Load0=1"};
  const QStringList UnitTests{"TMathTest",       "TStackTest", "TBrokenInitTest",
                              "TBrokenExitTest", "TCrashTest", "TNoMethodsTest"};
  Lines << QStringLiteral("AssignmentCount0=%1").arg(UnitTests.size()) << "[" + Demo + "]";
  for (int I = 0; I < UnitTests.size(); ++I)
    Lines << QStringLiteral("Assign%1=%2|Default Scenario|ENABLED").arg(I).arg(UnitTests[I]);
  WriteTextFile(ProjectPath, Lines);
  TMainForm Form(Dialogs, {ProjectPath});
  Form.setWindowTitle(QStringLiteral("Morvane v0.7.0 - Demo.kvr"));
  Form.show();

  TTreeView* Tree = Form.ModulesFrame()->Tree();
  if (Tree->TopLevelCount() == 0) {
    for (const auto& Box : Dialogs.Errors + Dialogs.Messages)
      std::fprintf(stderr, "%s\n", qPrintable(DisplayText(Box.Text)));
    std::fprintf(stderr, "the demo module is not in the modules view\n");
    return 1;
  }
  TTreeNode* Module = Tree->TopLevelNode(0);
  Tree->Expand(Module);
  Tree->Expand(Module->Child(0));
  Tree->Expand(Module->Child(1));
  Tree->ClearSelection();
  Tree->SetSelected(Module, true);
  Tree->SetCurrentNode(Module);
  Tree->setFocus();

  int Result = 1;
  QTimer::singleShot(800, &Form, [&] {
    RunIdle();
    Result = Form.grab().save(QString::fromLocal8Bit(aArgv[1])) ? 0 : 1;
    if (aArgc == 3)
      Form.mniAbout->trigger();
    if (!AboutSaved)
      Result = 1;
    Form.Project()->SaveProject();
    Form.close();
  });
  Application.exec();
  Application.SetDialogs(nullptr);
  return Result;
}
