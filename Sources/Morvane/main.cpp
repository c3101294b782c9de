// Morvane, the manager of Kalvoro unit tests.
#include "Application.h"
#include "FMain.h"
#include "Images.h"
#include "StandardDialogs.h"

int main(int aArgc, char** aArgv) {
  using namespace Kalvoro;
  TMorvaneApplication Application(aArgc, aArgv);
  Application.setApplicationName(QStringLiteral("Morvane"));
  Application.setWindowIcon(ApplicationIcon());
  InitializeIconTheme();
  TStandardDialogs Dialogs;
  Application.SetDialogs(&Dialogs);
  int Result = 0;
  {
    TMainForm MainForm(Dialogs, QCoreApplication::arguments().mid(1));
    MainForm.show();
    Result = Application.exec();
  }
  Application.SetDialogs(nullptr);
  return Result;
}
