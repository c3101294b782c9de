// Takes the picture of the scenarios view for the docs: the demo project with
// its two scenarios and its disabled unit test, one unit test moved to the
// available list and a unit-test row selected.
// Usage: ScenariosScreenshot OUTPUT.png (offscreen or under xvfb-run).
#include "GuiTestSupport.h"

#include "Actions.h"
#include "FMain.h"
#include "FScenarios.h"
#include "StandardDialogs.h"
#include "TreeView.h"

#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace Kalvoro;

int main(int aArgc, char** aArgv) {
  TMorvaneApplication Application(aArgc, aArgv);
  Application.setWindowIcon(ApplicationIcon());
  InitializeIconTheme();
  if (aArgc != 2) {
    std::fprintf(stderr, "usage: ScenariosScreenshot OUTPUT.png\n");
    return 2;
  }
  TFakeDialogs Dialogs;
  Application.SetDialogs(&Dialogs);

  QTemporaryDir Folder;
  const QString ProjectPath = Folder.filePath(QStringLiteral("Demo.kvr"));
  WriteTextFile(ProjectPath, DemoProjectLines());

  TMainForm Form(Dialogs, {ProjectPath});
  Form.setWindowTitle(QStringLiteral("Morvane v0.7.0 - Demo.kvr"));
  Form.show();
  Form.SwitchFrame(Form.ScenariosFrame());
  TScenariosFrame* View = Form.ScenariosFrame();
  TTreeView* Tree = View->Tree();
  if (Tree->TotalCount() < 8) {
    for (const auto& Box : Dialogs.Errors + Dialogs.Messages)
      std::fprintf(stderr, "%s\n", qPrintable(DisplayText(Box.Text)));
    std::fprintf(stderr, "the demo's scenarios are not in the view\n");
    return 1;
  }
  int Result = 1;
  QTimer::singleShot(300, &Form, [&] {
    // The last row (a unit test of Smoke) goes back to the available list.
    Tree->ClearSelection();
    Tree->SetSelected(Tree->NodeAtFlatIndex(Tree->TotalCount() - 1), true);
    RunIdle();
    View->Action(QStringLiteral("actRemoveSelected"))->Execute();
    Tree->ClearSelection();
    Tree->SetCurrentNode(Tree->NodeAtFlatIndex(2));
    Tree->SetSelected(Tree->NodeAtFlatIndex(2), true);
    Tree->setFocus();
    QTimer::singleShot(500, &Form, [&] {
      RunIdle();
      Result = Form.grab().save(QString::fromLocal8Bit(aArgv[1])) ? 0 : 1;
      Dialogs.ConfirmAnswers << true; // quit without saving the change
      Form.close();
    });
  });
  Application.exec();
  Application.SetDialogs(nullptr);
  return Result;
}
