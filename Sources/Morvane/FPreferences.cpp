#include "FPreferences.h"

#include "Dialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Kalvoro {

bool ShowPreferencesDialog(IDialogs& aDialogs, TPreferencesFields& aFields, QWidget* aParent) {
  QDialog Dialog(aParent);
  Dialog.setObjectName(QStringLiteral("PreferencesForm"));
  Dialog.setWindowTitle(QStringLiteral("Preferences"));

  // The editor: one of the offered commands, or any other typed in.
  auto* Editor = new QComboBox(&Dialog);
  Editor->setObjectName(QStringLiteral("cbxEditor"));
  Editor->setEditable(true);
  Editor->setInsertPolicy(QComboBox::NoInsert);
  Editor->addItems(aFields.EditorChoices);
  Editor->setCurrentText(aFields.Editor);
  Editor->setMinimumContentsLength(32);
  Editor->setAccessibleName(QStringLiteral("Editor"));
  Editor->setAccessibleDescription(
      QStringLiteral("The command that opens a failure's file at its line"));
  Editor->lineEdit()->setObjectName(QStringLiteral("edtEditor"));
  Editor->lineEdit()->setAccessibleName(QStringLiteral("Editor command"));
  Editor->lineEdit()->setPlaceholderText(QStringLiteral("the desktop's program"));
  Editor->view()->setAccessibleName(QStringLiteral("Offered editors"));
  auto* EditorLabel = new QLabel(QStringLiteral("&Editor"), &Dialog);
  EditorLabel->setAccessibleName(QStringLiteral("Editor"));
  EditorLabel->setBuddy(Editor);
  auto* Hint = new QLabel(QStringLiteral("{file} and {line} are put in; empty: the desktop's "
                                         "program for the file."),
                          &Dialog);
  Hint->setAccessibleName(Hint->text());
  Hint->setWordWrap(true);

  auto* Form = new QFormLayout;
  Form->addRow(EditorLabel, Editor);
  Form->addRow(QString(), Hint);
  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &Dialog);
  Buttons->setObjectName(QStringLiteral("Buttons"));
  for (QAbstractButton* Button : Buttons->buttons())
    Button->setAccessibleName(Button->text().remove(QLatin1Char('&')));
  QObject::connect(Buttons, &QDialogButtonBox::accepted, &Dialog, &QDialog::accept);
  QObject::connect(Buttons, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);
  auto* Layout = new QVBoxLayout(&Dialog);
  Layout->addLayout(Form);
  Layout->addWidget(Buttons);

  if (aDialogs.Execute(Dialog) != QDialog::Accepted)
    return false;
  aFields.Editor = Editor->currentText();
  return true;
}

} // namespace Kalvoro
