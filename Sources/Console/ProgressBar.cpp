#include "ProgressBar.h"

#include "NotificationMessages.h"
#include "UnitTestBase.h"

#include <algorithm>
#include <ostream>

#include <sys/ioctl.h>
#include <unistd.h>

namespace Kalvoro {

namespace {
constexpr int BarWidth = 30;
constexpr std::size_t LabelWidth = 36;
constexpr auto RedrawInterval = std::chrono::milliseconds(50);
int TerminalColumns() {
  winsize Size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0)
    return Size.ws_col;
  return 80;
}
} // namespace

TProgressBar::TProgressBar(std::ostream& aStream, int aTotalMethods, int aColumns)
    : FStream(aStream), FTotal(aTotalMethods),
      FColumns(aColumns > 0 ? aColumns : TerminalColumns()) {}

TProgressBar::~TProgressBar() {
  Detach();
  Clear();
}

void TProgressBar::Attach(TTestScenario* aScenario) {
  Detach();
  FScenario = aScenario;
  if (FScenario != nullptr)
    FScenario->AddStateNotificationHandler(RunListenerEvent(this, MessageIdBit(MessageIdProgress)));
}

void TProgressBar::Watch(IRunProgress* aSource) {
  if (FSource != nullptr)
    FSource->SetProgressHook({});
  FSource = aSource;
  if (FSource != nullptr)
    FSource->SetProgressHook([this] { DrawIfDue(); });
}

void TProgressBar::Detach() {
  Watch(nullptr);
  if (FScenario != nullptr)
    FScenario->RemoveStateNotificationHandler(RunListenerEvent(this));
  FScenario = nullptr;
}

void TProgressBar::Clear() {
  if (!FShown)
    return;
  FStream << "\r\033[K" << std::flush;
  FShown = false;
}

void TProgressBar::PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) {
  if (aPhase != TRunPhase::Method)
    return;
  FCurrent = aMessage.UnitTestName() + "." + aMessage.MethodName();
  DrawIfDue();
}

void TProgressBar::PhaseFinish(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  if (aPhase != TRunPhase::Exit)
    return;
  // One method is done when its Exit phase has finished, whatever happened before.
  ++FDone;
  DrawIfDue();
}

int TProgressBar::Done() const {
  return FDone + (FSource != nullptr ? FSource->MethodsFinishedAhead() : 0);
}

void TProgressBar::DrawIfDue() {
  const auto Now = std::chrono::steady_clock::now();
  if (FShown && Now - FLastDraw < RedrawInterval && Done() < FTotal)
    return;
  FLastDraw = Now;
  Draw();
}

void TProgressBar::Draw() {
  const int Total = FTotal > 0 ? FTotal : 1;
  const int Count = Done();
  const int Filled = std::min(Count, Total) * BarWidth / Total;
  std::string Text = "[";
  Text.append(static_cast<std::size_t>(Filled), '#');
  Text.append(static_cast<std::size_t>(BarWidth - Filled), '.');
  Text += "] " + std::to_string(Count) + "/" + std::to_string(FTotal) + " ";
  Text += FCurrent.size() > LabelWidth ? FCurrent.substr(0, LabelWidth) : FCurrent;
  // One column stays free: a line that fills the terminal wraps on some.
  const auto Fit = static_cast<std::size_t>(FColumns > 1 ? FColumns - 1 : 1);
  if (Text.size() > Fit)
    Text.resize(Fit);
  FStream << "\r" << Text << "\033[K" << std::flush;
  FShown = true;
}

} // namespace Kalvoro
