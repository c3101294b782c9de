// Shared pieces of the manager's GUI tests: scripted dialogs, module paths, an
// idle pass of the event loop, and the test programs' main function.
#pragma once

#include "Application.h"
#include "Dialogs.h"
#include "Images.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <functional>
#include <optional>

namespace Kalvoro {

// Dialogs that answer from a script and record what they were asked. An
// unscripted question is answered Yes, an unscripted file dialog is cancelled,
// and both are counted in Unscripted.
class TFakeDialogs : public IDialogs {
public:
  struct TBox {
    QString Caption;
    QString Text;
  };

  void ShowMessage(const QString& aCaption, const QString& aText) override;
  void ShowError(const QString& aCaption, const QString& aText) override;
  bool Confirm(const QString& aText) override;
  bool InputQuery(const QString& aCaption, const QString& aPrompt, QString& aValue) override;
  bool OpenFile(TFileDialogOptions& aOptions) override;
  bool SaveFile(TFileDialogOptions& aOptions) override;
  int Execute(QDialog& aDialog) override;

  // Answers, used first to last.
  QList<bool> ConfirmAnswers;
  QList<std::optional<QString>> OpenAnswers;
  QList<std::optional<QString>> SaveAnswers;
  QList<std::optional<QString>> InputAnswers;
  std::function<int(QDialog&)> OnExecute;
  // Called with the event's name before any dialog answers.
  std::function<void(const QString&)> OnEvent;

  // What was shown and asked, in order; Events names each call ("message",
  // "error", "confirm", "open", "save", "input", "execute").
  QList<TBox> Messages;
  QList<TBox> Errors;
  QStringList Questions;
  QList<TFileDialogOptions> OpenRequests;
  QList<TFileDialogOptions> SaveRequests;
  QStringList Events;
  int Unscripted = 0;

private:
  void Record(const QString& aEvent);
};

// Full paths of the tests' own modules and of the demo module.
QString TestModulePath(const QString& aName);
QString DemoModulePath();

// Lets the event loop go idle once, so that idle-time work (the actions'
// enabling rules) runs as it does for a user.
void RunIdle();

// Runs aBody as an event of the event loop, so that an error it raises reaches
// the application's central handler as a user's command would.
void RunAsEvent(const std::function<void()>& aBody);

// Writes a text file (lines ended by CR LF).
void WriteTextFile(const QString& aPath, const QStringList& aLines);
QStringList ReadTextLines(const QString& aPath);

} // namespace Kalvoro

// main() of a GUI test program: the offscreen platform unless another is set,
// the manager's application object, then the test object.
#define KALVORO_GUI_TEST_MAIN(TestObject)                                                          \
  int main(int aArgc, char** aArgv) {                                                              \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                            \
      qputenv("QT_QPA_PLATFORM", "offscreen");                                                     \
    Kalvoro::TMorvaneApplication Application(aArgc, aArgv);                                        \
    Kalvoro::InitializeIconTheme();                                                                \
    TestObject Test;                                                                               \
    return QTest::qExec(&Test, aArgc, aArgv);                                                      \
  }
