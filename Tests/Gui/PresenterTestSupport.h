// Shared pieces of the manager's tests that need no widgets (the presenter
// tests link only the presenters): scripted dialogs, module paths and text
// files. The widget tests have them through GuiTestSupport.h.
#pragma once

#include "Dialogs.h"

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
// The demo project as shipped, its module paths pointing into this build.
QStringList DemoProjectLines();

// Writes a text file (lines ended by CR LF).
void WriteTextFile(const QString& aPath, const QStringList& aLines);
QStringList ReadTextLines(const QString& aPath);

struct TCommand;

// Runs aBody, or the command; the text of the error it raised, or empty.
QString ErrorOf(const std::function<void()>& aBody);
QString ErrorOf(const TCommand& aCommand);

} // namespace Kalvoro
