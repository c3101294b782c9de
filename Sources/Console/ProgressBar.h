// A one-line progress bar on a terminal, fed by a running scenario's messages
// and, where several methods run at once, by the runner's count of those that
// finished ahead of the run (RunProgress.h): a method counts once its host
// reports it done, in any order.
#pragma once

#include "RunListener.h"
#include "RunProgress.h"

#include <chrono>
#include <iosfwd>
#include <string>

namespace Kalvoro {

class TTestScenario;

class TProgressBar : public IRunListener {
public:
  // aColumns: the terminal's width; 0 asks the terminal on standard error
  // (80 when it cannot tell). The bar never takes more, so it cannot wrap.
  TProgressBar(std::ostream& aStream, int aTotalMethods, int aColumns = 0);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  void Attach(TTestScenario* aScenario);
  // Also counts what aSource reports finished ahead, until Detach.
  void Watch(IRunProgress* aSource);
  void Detach();
  // Removes the bar from the screen so that other output can be written.
  void Clear();

private:
  // A method's phase begins: the method is named.
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  // A method is done when its Exit phase has finished.
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void Draw();
  // Draws unless the last drawing is too recent and the run not done.
  void DrawIfDue();
  int Done() const;

  std::ostream& FStream;
  TTestScenario* FScenario = nullptr;
  IRunProgress* FSource = nullptr;
  int FTotal;
  int FColumns;
  int FDone = 0;
  bool FShown = false;
  std::string FCurrent;
  std::chrono::steady_clock::time_point FLastDraw{};
};

} // namespace Kalvoro
