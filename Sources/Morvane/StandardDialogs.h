// The desktop's standard dialogs behind IDialogs: what the program uses.
#pragma once

#include "Dialogs.h"

namespace Kalvoro {

// Message boxes show a carriage return (code 13) as a line break.
QString DisplayText(const QString& aText);

class TStandardDialogs : public IDialogs {
public:
  void ShowMessage(const QString& aCaption, const QString& aText) override;
  void ShowError(const QString& aCaption, const QString& aText) override;
  bool Confirm(const QString& aText) override;
  bool InputQuery(const QString& aCaption, const QString& aPrompt, QString& aValue) override;
  bool OpenFile(TFileDialogOptions& aOptions) override;
  bool SaveFile(TFileDialogOptions& aOptions) override;
  int Execute(QDialog& aDialog) override;
};

} // namespace Kalvoro
