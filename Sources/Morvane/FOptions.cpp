#include "FOptions.h"

#include "Dialogs.h"
#include "Project.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Kalvoro {

bool ShowOptionsDialog(IDialogs& aDialogs, TOptionsFields& aFields, QWidget* aParent) {
  QDialog Dialog(aParent);
  Dialog.setObjectName(QStringLiteral("OptionsForm"));
  Dialog.setWindowTitle(QStringLiteral("Options"));

  auto* Hosts = new QCheckBox(QStringLiteral("Run tests in a separate process"), &Dialog);
  Hosts->setObjectName(QStringLiteral("cbHosts"));
  Hosts->setAccessibleName(Hosts->text());
  Hosts->setAccessibleDescription(
      QStringLiteral("A crash, a hang or an exit in a test then ends that process, not Morvane"));
  Hosts->setChecked(aFields.Hosts);

  auto* Limit = new QLineEdit(aFields.TimeLimit, &Dialog);
  Limit->setObjectName(QStringLiteral("edtTimeLimit"));
  Limit->setAccessibleName(QStringLiteral("Time limit per phase"));
  Limit->setAccessibleDescription(QStringLiteral("Whole seconds; empty for none"));
  Limit->setPlaceholderText(QStringLiteral("none"));
  Limit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,6}")), Limit));
  auto* Unit = new QLabel(QStringLiteral("seconds"), &Dialog);
  Unit->setAccessibleName(Unit->text());
  auto* LimitRow = new QHBoxLayout;
  LimitRow->addWidget(Limit);
  LimitRow->addWidget(Unit);
  auto* LimitLabel = new QLabel(QStringLiteral("Time limit per phase"), &Dialog);
  LimitLabel->setAccessibleName(LimitLabel->text());
  LimitLabel->setBuddy(Limit);

  auto* Jobs = new QSpinBox(&Dialog);
  Jobs->setObjectName(QStringLiteral("spnJobs"));
  Jobs->setAccessibleName(QStringLiteral("Tests run at once"));
  Jobs->setAccessibleDescription(
      QStringLiteral("Unit tests that run side by side, each in a process of its own; the reports "
                     "are those of a run one at a time"));
  Jobs->setRange(1, MaxJobs);
  Jobs->setValue(aFields.Jobs);
  auto* JobsLabel = new QLabel(QStringLiteral("Tests run at once"), &Dialog);
  JobsLabel->setAccessibleName(JobsLabel->text());
  JobsLabel->setBuddy(Jobs);
  // In process the tests run one at a time.
  Jobs->setEnabled(aFields.Hosts);
  QObject::connect(Hosts, &QCheckBox::toggled, Jobs, &QWidget::setEnabled);

  auto* Form = new QFormLayout;
  Form->addRow(Hosts);
  Form->addRow(LimitLabel, LimitRow);
  Form->addRow(JobsLabel, Jobs);
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
  aFields.Hosts = Hosts->isChecked();
  aFields.TimeLimit = Limit->text();
  aFields.Jobs = Jobs->value();
  return true;
}

} // namespace Kalvoro
