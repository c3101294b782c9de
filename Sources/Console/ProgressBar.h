// A one-line progress bar on a terminal, fed by a running scenario's messages.
#pragma once

#include "MessageEventList.h"

#include <chrono>
#include <iosfwd>
#include <string>

namespace Kalvoro {

class TTestScenario;

class TProgressBar {
public:
  TProgressBar(std::ostream& aStream, int aTotalMethods);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  void Attach(TTestScenario* aScenario);
  void Detach();
  // Removes the bar from the screen so that other output can be written.
  void Clear();
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage& aMessage);

private:
  void Draw();

  std::ostream& FStream;
  TTestScenario* FScenario = nullptr;
  int FTotal;
  int FDone = 0;
  bool FShown = false;
  std::string FCurrent;
  std::chrono::steady_clock::time_point FLastDraw{};
};

} // namespace Kalvoro
