// The progress window: a small modal dialog that runs one scenario, or a run
// over several, and shows the running scenario, unit test, its phase or
// method, and a bar of finished methods.
#pragma once

#include "ProgressRun.h"

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
  // One window over a whole run (its Hosts as above).
  explicit TProgressForm(const TWholeRun& aRun);
  ~TProgressForm() override;

  // Shows a window for the scenario modally (through aDialogs->Execute, or
  // exec() without one); the window runs the scenario and closes when it
  // has run. An error that ends the run closes the window too and is raised
  // again here, after the window has gone.
  static void ShowProgress(TTestScenario* aTestScenario, IDialogs* aDialogs = nullptr,
                           TKindRunner* aHosts = nullptr);
  // The same for a whole run in one window.
  static void ShowWholeProgress(const TWholeRun& aRun, IDialogs* aDialogs = nullptr);
  // The window being shown by ShowProgress, or nullptr.
  static TProgressForm* Shown();

  // The run's messages arrive here through the presenter, which the window
  // registers for the run; a missing message is an assertion failure.
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage* aMessage);
  const TProgressPresenter& Presenter() const { return FRun->Presenter(); }
  // The error that ended the run, or null.
  std::exception_ptr RunError() const { return FRun->Error(); }

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
  explicit TProgressForm(std::unique_ptr<TProgressRun> aRun);
  static void Show(TProgressForm& aForm, IDialogs* aDialogs);
  void TimerTimer();
  void StopClick();
  // Puts the presenter's state into the labels and the bar and repaints.
  void Present();

  std::unique_ptr<TProgressRun> FRun;
  TProgressPresenter* FPresenter;
  bool FMayClose = false;
};

// The results view's run step that runs each scenario in a progress window.
TProgressStep ProgressRunStep(IDialogs* aDialogs = nullptr);
// The results view's step that runs a whole chosen run in one window.
TWholeRunStep ProgressWholeRunStep(IDialogs* aDialogs = nullptr);

} // namespace Kalvoro
