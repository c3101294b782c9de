// The progress window: a small modal dialog that runs one scenario and shows
// the running unit test, its phase or method, and a bar of finished methods.
#pragma once

#include "ProgressPresenter.h"
#include "ResultsPresenter.h"

#include <QDialog>

#include <exception>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace Kalvoro {

class IDialogs;
class TKindRunner;
class TTestScenario;

class TProgressForm : public QDialog {
  Q_OBJECT

public:
  // With aHosts the scenario runs in its hosts and the window has a Stop
  // button; without, it runs in this process and cannot be stopped.
  explicit TProgressForm(TTestScenario* aTestScenario, TKindRunner* aHosts = nullptr);
  ~TProgressForm() override;

  // Shows a window for the scenario modally (through aDialogs->Execute, or
  // exec() without one); the window runs the scenario and closes when it
  // has run. An error that ends the run closes the window too and is raised
  // again here, after the window has gone.
  static void ShowProgress(TTestScenario* aTestScenario, IDialogs* aDialogs = nullptr,
                           TKindRunner* aHosts = nullptr);
  // The window being shown by ShowProgress, or nullptr.
  static TProgressForm* Shown();

  // The run's messages arrive here through the presenter, which the window
  // registers for the run; a missing message is an assertion failure.
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage* aMessage);
  const TProgressPresenter& Presenter() const { return *FPresenter; }
  // The error that ended the run, or null.
  std::exception_ptr RunError() const { return FError; }

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* lblScenario;
  QLabel* lblUnitTest;
  QLabel* lblUnitTestMethod;
  QProgressBar* ProgressBar;
  QTimer* Timer;
  // Only with hosts: "Stop", the timer that ends the host 3 s after the
  // first press, and the one that shows a change that waited for its repaint.
  QPushButton* btnStop = nullptr;
  QTimer* StopTimer = nullptr;
  QTimer* RepaintTimer = nullptr;

protected:
  void showEvent(QShowEvent* aEvent) override;
  // The user cannot close the window or cancel the run (Escape included).
  void reject() override;

private:
  void TimerTimer();
  void StopClick();
  // Puts the presenter's state into the labels and the bar and repaints.
  void Present();

  TTestScenario* FScenario;
  TKindRunner* FHosts;
  std::unique_ptr<TProgressPresenter> FPresenter;
  std::exception_ptr FError;
  bool FStarted = false;
  bool FMayClose = false;
};

// The results view's run step that runs each scenario in a progress window.
TProgressStep ProgressRunStep(IDialogs* aDialogs = nullptr);

} // namespace Kalvoro
