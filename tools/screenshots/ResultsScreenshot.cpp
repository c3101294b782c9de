// Takes the picture of the results view for the docs: the demo project after
// Start All, with the tree's results and the Log page; with a filter text,
// the tree filtered by it with passed methods hidden, the first failure
// selected (F8) and the Errors page; with --by-duration instead, the tree
// sorted by its Duration column, slowest first.
// Usage: ResultsScreenshot OUTPUT.png [FILTER | --by-duration] (offscreen or
// under xvfb-run).
#include "GuiTestSupport.h"

#include "Actions.h"
#include "FMain.h"
#include "FResults.h"
#include "FilterBar.h"
#include "StandardDialogs.h"
#include "TreeView.h"

#include <QDialog>
#include <QHeaderView>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

using namespace Kalvoro;

int main(int aArgc, char** aArgv) {
  TMorvaneApplication Application(aArgc, aArgv);
  Application.setWindowIcon(ApplicationIcon());
  InitializeIconTheme();
  if (aArgc != 2 && aArgc != 3) {
    std::fprintf(stderr, "usage: ResultsScreenshot OUTPUT.png [FILTER | --by-duration]\n");
    return 2;
  }
  TFakeDialogs Dialogs;
  Dialogs.OnExecute = [](QDialog& aDialog) { return aDialog.exec(); };
  Application.SetDialogs(&Dialogs);

  QTemporaryDir Folder;
  const QString ProjectPath = Folder.filePath(QStringLiteral("Demo.kvr"));
  WriteTextFile(ProjectPath, DemoProjectLines());

  TMainForm Form(Dialogs, {ProjectPath});
  Form.setWindowTitle(QStringLiteral("Morvane v0.7.0 - Demo.kvr"));
  Form.resize(1100, 640);
  Form.show();
  Form.SwitchFrame(Form.ResultsFrame());
  TResultsFrame* Results = Form.ResultsFrame();
  int Result = 1;
  QTimer::singleShot(300, &Form, [&] {
    RunIdle();
    Results->Action(QStringLiteral("actStartAll"))->Execute();
    Results->ErrorTab()->setCurrentIndex(pkLog);
    if (aArgc == 3 && QLatin1String(aArgv[2]) == QLatin1String("--by-duration")) {
      // Room for the names beside the Duration column.
      if (auto* Splitter = Results->findChild<QSplitter*>(QStringLiteral("Splitter")))
        Splitter->setSizes({480, 620});
      // As a click on the Duration header.
      emit Results->Tree()->header()->sectionClicked(2);
    } else if (aArgc == 3) {
      Results->Filter()->Toggle(3)->click(); // Success off
      Results->Filter()->SetText(QString::fromLocal8Bit(aArgv[2]));
      Results->Action(QStringLiteral("actNextFailure"))->Execute();
      Results->ErrorTab()->setCurrentIndex(pkErrors);
    }
    QTimer::singleShot(500, &Form, [&] {
      RunIdle();
      Result = Form.grab().save(QString::fromLocal8Bit(aArgv[1])) ? 0 : 1;
      for (const auto& Box : Dialogs.Errors + Dialogs.Messages)
        std::fprintf(stderr, "%s\n", qPrintable(DisplayText(Box.Text)));
      Dialogs.ConfirmAnswers << false;
      Form.close();
    });
  });
  Application.exec();
  return Result;
}
