#include "StandardDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace Kalvoro {

QString DisplayText(const QString& aText) {
  QString Result = aText;
  Result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  Result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return Result;
}

namespace {

void ShowBox(QMessageBox::Icon aIcon, const QString& aCaption, const QString& aText) {
  QMessageBox Box(aIcon, aCaption, DisplayText(aText), QMessageBox::NoButton,
                  QApplication::activeWindow());
  QPushButton* Ok = Box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  Box.setDefaultButton(Ok);
  Box.setEscapeButton(Ok);
  Box.exec();
}

bool RunFileDialog(QFileDialog::AcceptMode aMode, TFileDialogOptions& aOptions) {
  QFileDialog Dialog(QApplication::activeWindow(), aOptions.Title, aOptions.InitialDir,
                     aOptions.Filter);
  Dialog.setAcceptMode(aMode);
  Dialog.setDefaultSuffix(aOptions.DefaultSuffix);
  if (aMode == QFileDialog::AcceptOpen)
    Dialog.setFileMode(aOptions.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  else
    Dialog.setOption(QFileDialog::DontConfirmOverwrite, !aOptions.ConfirmOverwrite);
  if (!aOptions.FileName.isEmpty())
    Dialog.selectFile(aOptions.FileName);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
    return false;
  aOptions.FileName = Dialog.selectedFiles().constFirst();
  return true;
}

} // namespace

void TStandardDialogs::ShowMessage(const QString& aCaption, const QString& aText) {
  ShowBox(QMessageBox::NoIcon, aCaption, aText);
}

void TStandardDialogs::ShowError(const QString& aCaption, const QString& aText) {
  ShowBox(QMessageBox::Critical, aCaption, aText);
}

bool TStandardDialogs::Confirm(const QString& aText) {
  QMessageBox Box(QMessageBox::Question, QStringLiteral("Confirm"), DisplayText(aText),
                  QMessageBox::NoButton, QApplication::activeWindow());
  QPushButton* Yes = Box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
  QPushButton* No = Box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  Box.setDefaultButton(Yes);
  Box.setEscapeButton(No);
  Box.exec();
  return Box.clickedButton() == Yes;
}

bool TStandardDialogs::InputQuery(const QString& aCaption, const QString& aPrompt,
                                  QString& aValue) {
  QInputDialog Dialog(QApplication::activeWindow());
  Dialog.setWindowTitle(aCaption);
  Dialog.setLabelText(aPrompt);
  Dialog.setTextValue(aValue);
  Dialog.setOkButtonText(QStringLiteral("OK"));
  Dialog.setCancelButtonText(QStringLiteral("Cancel"));
  if (Dialog.exec() != QDialog::Accepted)
    return false;
  aValue = Dialog.textValue();
  return true;
}

bool TStandardDialogs::OpenFile(TFileDialogOptions& aOptions) {
  return RunFileDialog(QFileDialog::AcceptOpen, aOptions);
}

bool TStandardDialogs::SaveFile(TFileDialogOptions& aOptions) {
  return RunFileDialog(QFileDialog::AcceptSave, aOptions);
}

int TStandardDialogs::Execute(QDialog& aDialog) {
  return aDialog.exec();
}

} // namespace Kalvoro
