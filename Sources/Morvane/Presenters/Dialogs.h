// The standard dialogs of the manager behind one small interface: presenters
// ask it, the program answers it with the desktop's dialogs
// (StandardDialogs.h) and tests with a fake, so that no modal window ever
// appears in a test.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;

namespace Kalvoro {

// What a file dialog is opened with, and the name the user chose.
struct TFileDialogOptions {
  QString Title;
  // Qt filter text ("Modules (*.so);;All files (*)"); empty shows every file.
  QString Filter;
  // Appended when the typed name has no extension ("kvr", without the dot).
  QString DefaultSuffix;
  QString InitialDir;
  // In: the initial name; out: the chosen path.
  QString FileName;
  // Open dialogs: the chosen file must exist.
  bool FileMustExist = false;
  // Save dialogs: ask before replacing an existing file.
  bool ConfirmOverwrite = false;
};

class IDialogs {
public:
  virtual ~IDialogs() = default;

  // A plain message box with one "OK" button.
  virtual void ShowMessage(const QString& aCaption, const QString& aText) = 0;
  // An error box: stop icon, one "OK" button.
  virtual void ShowError(const QString& aCaption, const QString& aText) = 0;
  // A confirmation box captioned "Confirm" with "&Yes" and "&No"; true for Yes.
  virtual bool Confirm(const QString& aText) = 0;
  // A one-line input box with "OK" and "Cancel"; true for OK, aValue then
  // holds the text as typed.
  virtual bool InputQuery(const QString& aCaption, const QString& aPrompt, QString& aValue) = 0;
  // File dialogs; true when the user confirmed a name (in aOptions.FileName).
  virtual bool OpenFile(TFileDialogOptions& aOptions) = 0;
  virtual bool SaveFile(TFileDialogOptions& aOptions) = 0;
  // Shows a dialog of the program's own (made by a view) modally and returns
  // its result. Presenters never make dialogs, so they never call it.
  virtual int Execute(QDialog& aDialog) = 0;
};

} // namespace Kalvoro
