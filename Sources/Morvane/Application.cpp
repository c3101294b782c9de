#include "Application.h"

#include "Dialogs.h"
#include "Exception.h"
#include "Formatters.h"

namespace Kalvoro {

TMorvaneApplication::TMorvaneApplication(int& aArgc, char** aArgv) : QApplication(aArgc, aArgv) {
  SetApplicationTitle(QStringLiteral("Morvane"));
  // Dates and times on the pages follow the user's regional separators, as
  // the console runner's do.
  InstallLocaleFormatSettings();
}

TMorvaneApplication::~TMorvaneApplication() = default;

TMorvaneApplication* TMorvaneApplication::Instance() {
  return qobject_cast<TMorvaneApplication*>(QCoreApplication::instance());
}

bool TMorvaneApplication::notify(QObject* aReceiver, QEvent* aEvent) {
  try {
    return QApplication::notify(aReceiver, aEvent);
  } catch (...) {
    ShowException(std::current_exception());
    return false;
  }
}

QString ErrorText(const std::exception_ptr& aError) {
  try {
    std::rethrow_exception(aError);
  } catch (const std::exception& Error) {
    return QString::fromStdString(WithFullStop(Error.what()));
  } catch (...) {
    return QStringLiteral("An error of an unknown kind occurred.");
  }
}

void TMorvaneApplication::ShowException(const std::exception_ptr& aError) {
  const QString Text = ErrorText(aError);
  if (FDialogs != nullptr)
    FDialogs->ShowError(ApplicationTitle(), Text);
  else
    qWarning("%s", qPrintable(Text));
}

void HandleCurrentException() {
  TMorvaneApplication* Application = TMorvaneApplication::Instance();
  if (Application == nullptr)
    throw;
  Application->ShowException(std::current_exception());
}

void RunGuarded(const std::function<void()>& aBody) {
  try {
    aBody();
  } catch (...) {
    HandleCurrentException();
  }
}

} // namespace Kalvoro
