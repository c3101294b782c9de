#include "FProgress.h"

#include "Actions.h"
#include "Dialogs.h"
#include "Exception.h"
#include "UnitTestBase.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <initializer_list>

namespace Kalvoro {

namespace {

// The window that ShowProgress shows, while it is shown.
TProgressForm* ProgressForm = nullptr;

// The captions' column and the values' one, which ends with the bar.
constexpr int CaptionLeft = 24;
constexpr int ValueLeft = 120;
constexpr int ValueRight = 313;
constexpr int CaptionGap = 6;

QLabel* MakeLabel(QWidget* aParent, const QString& aText, int aTop) {
  auto* Label = new QLabel(aText, aParent);
  Label->setAccessibleName(aText);
  Label->move(CaptionLeft, aTop);
  Label->adjustSize();
  return Label;
}

// The values start at ValueLeft, or further right where a caption (in a
// larger font) would reach it, so that no caption runs into its value.
int ValueColumn(std::initializer_list<const QLabel*> aCaptions) {
  int Left = ValueLeft;
  for (const QLabel* Caption : aCaptions)
    Left = std::max(Left, Caption->geometry().right() + 1 + CaptionGap);
  return Left;
}

// A bold label of the value column; its accessible name is the caption
// beside it, its description the value it shows. A longer value is cut off
// at the column's end.
QLabel* MakeValueLabel(QWidget* aParent, const QString& aCaption, int aLeft, int aTop) {
  auto* Label = new QLabel(aParent);
  QFont Font = Label->font();
  Font.setBold(true);
  Label->setFont(Font);
  Label->setAccessibleName(aCaption);
  Label->setGeometry(aLeft, aTop, ValueRight - aLeft, Label->sizeHint().height());
  return Label;
}

void ShowValue(QLabel* aLabel, const std::string& aText) {
  const QString Text = QString::fromStdString(aText);
  if (aLabel->text() == Text)
    return;
  aLabel->setText(Text);
  aLabel->setAccessibleDescription(Text);
}

} // namespace

namespace {

std::unique_ptr<TProgressRun> RunOf(TTestScenario* aTestScenario, TKindRunner* aHosts) {
  KALVORO_ASSERT(aTestScenario != nullptr);
  return std::make_unique<TProgressRun>(*aTestScenario, aHosts);
}

} // namespace

TProgressForm::TProgressForm(TTestScenario* aTestScenario, TKindRunner* aHosts)
    : TProgressForm(RunOf(aTestScenario, aHosts)) {}

TProgressForm::TProgressForm(const TWholeRun& aRun)
    : TProgressForm(std::make_unique<TProgressRun>(aRun)) {}

TProgressForm::TProgressForm(std::unique_ptr<TProgressRun> aRun)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FRun(std::move(aRun)), FPresenter(&FRun->Presenter()) {
  FPresenter->Repaint = [this] { Present(); };
  setObjectName(QStringLiteral("ProgressForm"));
  setWindowTitle(QStringLiteral("Running"));
  setFixedSize(330, 105);

  Label1 = MakeLabel(this, QStringLiteral("Test Scenario"), 8);
  Label2 = MakeLabel(this, QStringLiteral("UnitTest"), 24);
  Label3 = MakeLabel(this, QStringLiteral("UnitTest Method"), 40);
  const int Values = ValueColumn({Label1, Label2, Label3});
  lblScenario = MakeValueLabel(this, Label1->text(), Values, 8);
  lblUnitTest = MakeValueLabel(this, Label2->text(), Values, 24);
  lblUnitTestMethod = MakeValueLabel(this, Label3->text(), Values, 40);
  ShowValue(lblScenario, FPresenter->ScenarioName());

  ProgressBar = new QProgressBar(this);
  ProgressBar->setAccessibleName(QStringLiteral("Progress"));
  ProgressBar->setGeometry(16, 64, 297, 25);
  ProgressBar->setTextVisible(false);
  ProgressBar->setMinimum(0);
  ProgressBar->setMaximum(FPresenter->Maximum());
  ProgressBar->setValue(0);
  if (FRun->InHosts()) {
    // The bar gives the button room, so the window keeps its size.
    ProgressBar->setGeometry(16, 64, 217, 25);
    btnStop = new QPushButton(QStringLiteral("Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setAccessibleName(QStringLiteral("Stop"));
    btnStop->setAccessibleDescription(
        QStringLiteral("End the run after the running method; again: end it at once"));
    btnStop->setAutoDefault(false);
    btnStop->setGeometry(241, 62, 72, 29);
    connect(btnStop, &QPushButton::clicked, this, &TProgressForm::StopClick);
    StopTimer = new QTimer(this);
    StopTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early: "3 s after the first press"
    // means at least 3 s.
    StopTimer->setTimerType(Qt::PreciseTimer);
    StopTimer->setInterval(TProgressPresenter::StopNowDelay);
    connect(StopTimer, &QTimer::timeout, this, [this] { FPresenter->StopNow(); });
    // A change that came too soon after the last repaint waits for the next
    // message; while a test works silently, the event loop shows it instead.
    RepaintTimer = new QTimer(this);
    RepaintTimer->setInterval(static_cast<int>(TProgressPresenter::RepaintInterval));
    connect(RepaintTimer, &QTimer::timeout, this, [this] { FPresenter->FlushRepaint(); });
  }

  Timer = new QTimer(this);
  Timer->setSingleShot(true);
  // A coarse timer may fire early; the run must not start before 100 ms.
  Timer->setTimerType(Qt::PreciseTimer);
  Timer->setInterval(100);
  connect(Timer, &QTimer::timeout, this, &TProgressForm::TimerTimer);

  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());
}

TProgressForm::~TProgressForm() {
  if (ProgressForm == this)
    ProgressForm = nullptr;
}

void TProgressForm::ShowProgress(TTestScenario* aTestScenario, IDialogs* aDialogs,
                                 TKindRunner* aHosts) {
  KALVORO_ASSERT(aTestScenario != nullptr);
  TProgressForm Form(aTestScenario, aHosts);
  Show(Form, aDialogs);
}

void TProgressForm::ShowWholeProgress(const TWholeRun& aRun, IDialogs* aDialogs) {
  TProgressForm Form(aRun);
  Show(Form, aDialogs);
}

void TProgressForm::Show(TProgressForm& aForm, IDialogs* aDialogs) {
  ProgressForm = &aForm;
  TAction::HoldUpdates(true);
  try {
    if (aDialogs != nullptr)
      aDialogs->Execute(aForm);
    else
      aForm.exec();
  } catch (...) {
    TAction::HoldUpdates(false);
    throw;
  }
  TAction::HoldUpdates(false);
  if (aForm.RunError())
    std::rethrow_exception(aForm.RunError());
}

TProgressForm* TProgressForm::Shown() {
  return ProgressForm;
}

void TProgressForm::HandleMessage(TMessageEventList* aSender, const TCustomMessage* aMessage) {
  KALVORO_ASSERT(aMessage != nullptr);
  FPresenter->HandleMessage(aSender, *aMessage);
}

void TProgressForm::showEvent(QShowEvent* aEvent) {
  QDialog::showEvent(aEvent);
  // The run starts from the modal loop once the window is on the screen.
  if (!FRun->Started() && !Timer->isActive())
    Timer->start();
}

void TProgressForm::reject() {
  if (FMayClose)
    QDialog::reject();
}

void TProgressForm::TimerTimer() {
  Timer->stop();
  // Start blocks until the run has ended, and keeps its error for Show.
  if (RepaintTimer != nullptr)
    RepaintTimer->start();
  const bool Succeeded = FRun->Start();
  if (StopTimer != nullptr) {
    StopTimer->stop();
    RepaintTimer->stop();
  }
  Present();
  FMayClose = true;
  done(Succeeded ? QDialog::Accepted : QDialog::Rejected);
}

void TProgressForm::StopClick() {
  FPresenter->StopPressed();
  if (FPresenter->StopPresses() == 1)
    StopTimer->start();
}

void TProgressForm::Present() {
  ShowValue(lblScenario, FPresenter->ScenarioName());
  ShowValue(lblUnitTest, FPresenter->UnitTestName());
  ShowValue(lblUnitTestMethod, FPresenter->MethodName());
  ProgressBar->setValue(FPresenter->Position());
  repaint();
}

TProgressStep ProgressRunStep(IDialogs* aDialogs) {
  return [aDialogs](TTestScenario& aScenario, TKindRunner* aHosts) {
    TProgressForm::ShowProgress(&aScenario, aDialogs, aHosts);
  };
}

TWholeRunStep ProgressWholeRunStep(IDialogs* aDialogs) {
  return [aDialogs](const TWholeRun& aRun) { TProgressForm::ShowWholeProgress(aRun, aDialogs); };
}

} // namespace Kalvoro
