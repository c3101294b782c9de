#include "PresenterTestSupport.h"

#include "Command.h"

#include <QFile>
#include <QtTest>

namespace Kalvoro {

void TFakeDialogs::Record(const QString& aEvent) {
  Events << aEvent;
  if (OnEvent)
    OnEvent(aEvent);
}

void TFakeDialogs::ShowMessage(const QString& aCaption, const QString& aText) {
  Record(QStringLiteral("message"));
  Messages.append({aCaption, aText});
}

void TFakeDialogs::ShowError(const QString& aCaption, const QString& aText) {
  Record(QStringLiteral("error"));
  Errors.append({aCaption, aText});
}

bool TFakeDialogs::Confirm(const QString& aText) {
  Record(QStringLiteral("confirm"));
  Questions << aText;
  if (ConfirmAnswers.isEmpty()) {
    ++Unscripted;
    return true;
  }
  return ConfirmAnswers.takeFirst();
}

bool TFakeDialogs::InputQuery(const QString& /*aCaption*/, const QString& /*aPrompt*/,
                              QString& aValue) {
  Record(QStringLiteral("input"));
  if (InputAnswers.isEmpty()) {
    ++Unscripted;
    return false;
  }
  const std::optional<QString> Answer = InputAnswers.takeFirst();
  if (!Answer)
    return false;
  aValue = *Answer;
  return true;
}

namespace {
bool AnswerFile(QList<std::optional<QString>>& aAnswers, TFileDialogOptions& aOptions,
                int& aUnscripted) {
  if (aAnswers.isEmpty()) {
    ++aUnscripted;
    return false;
  }
  const std::optional<QString> Answer = aAnswers.takeFirst();
  if (!Answer)
    return false;
  aOptions.FileName = *Answer;
  return true;
}
} // namespace

bool TFakeDialogs::OpenFile(TFileDialogOptions& aOptions) {
  Record(QStringLiteral("open"));
  OpenRequests.append(aOptions);
  return AnswerFile(OpenAnswers, aOptions, Unscripted);
}

bool TFakeDialogs::SaveFile(TFileDialogOptions& aOptions) {
  Record(QStringLiteral("save"));
  SaveRequests.append(aOptions);
  return AnswerFile(SaveAnswers, aOptions, Unscripted);
}

int TFakeDialogs::Execute(QDialog& aDialog) {
  Record(QStringLiteral("execute"));
  // 0 is the rejected result (QDialog::Rejected).
  return OnExecute ? OnExecute(aDialog) : 0;
}

QString TestModulePath(const QString& aName) {
  return QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/") + aName;
}

QString DemoModulePath() {
  return QStringLiteral(KALVORO_EXAMPLES_DIR "/Demo.so");
}

void WriteTextFile(const QString& aPath, const QStringList& aLines) {
  QFile File(aPath);
  QVERIFY2(File.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(aPath));
  for (const QString& Line : aLines)
    File.write(Line.toUtf8() + "\r\n");
}

QStringList ReadTextLines(const QString& aPath) {
  QFile File(aPath);
  if (!File.open(QIODevice::ReadOnly))
    return {};
  QString Text = QString::fromUtf8(File.readAll());
  Text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QStringList Lines = Text.split(QLatin1Char('\n'));
  if (!Lines.isEmpty() && Lines.constLast().isEmpty())
    Lines.removeLast();
  return Lines;
}

QStringList DemoProjectLines() {
  QStringList Lines = ReadTextLines(QStringLiteral(KALVORO_DEMO_PROJECT));
  for (QString& Line : Lines)
    Line.replace(QStringLiteral("../build/default/Examples/"),
                 QStringLiteral(KALVORO_EXAMPLES_DIR "/"));
  return Lines;
}

QString ErrorOf(const std::function<void()>& aBody) {
  try {
    aBody();
  } catch (const std::exception& Error) {
    return QString::fromStdString(Error.what());
  }
  return {};
}

QString ErrorOf(const TCommand& aCommand) {
  return ErrorOf([&aCommand] { aCommand.Run(); });
}

} // namespace Kalvoro
