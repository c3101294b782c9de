// The manager's application object: its title, its dialogs and the central
// error handler that shows every error a command leaves unhandled.
#pragma once

#include "Titles.h"

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

namespace Kalvoro {

class IDialogs;

class TMorvaneApplication : public QApplication {
  Q_OBJECT

public:
  // The title starts as "Morvane".
  TMorvaneApplication(int& aArgc, char** aArgv);
  ~TMorvaneApplication() override;

  static TMorvaneApplication* Instance();

  // The application's title (ApplicationTitle in Titles.h).
  QString Title() const { return ApplicationTitle(); }
  void SetTitle(const QString& aTitle) { SetApplicationTitle(aTitle); }

  // The dialogs that the error handler and the windows use (not owned).
  IDialogs* Dialogs() const { return FDialogs; }
  void SetDialogs(IDialogs* aDialogs) { FDialogs = aDialogs; }

  // Delivers an event; an error that escapes its handler is shown, not lost.
  bool notify(QObject* aReceiver, QEvent* aEvent) override;

  // Shows an error the way the central handler does: a box captioned with the
  // application title, with a stop icon and one "OK", the text ending in a full
  // stop by the usual rule.
  void ShowException(const std::exception_ptr& aError);

private:
  IDialogs* FDialogs = nullptr;
};

// The text that the error box shows for an error.
QString ErrorText(const std::exception_ptr& aError);

// Hands the error being handled to the central handler; without a manager
// application object it is raised again.
void HandleCurrentException();

// Runs a piece of an event handler; an error it raises goes to the central
// handler instead of unwinding through the toolkit's code.
void RunGuarded(const std::function<void()>& aBody);

} // namespace Kalvoro
