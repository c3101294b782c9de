// Times the results pages and the progress window at scale: appending a
// million log lines to a page (time and memory per line), scrolling a shown
// page to its end and finding a line in it, and what the progress window adds
// to each message of a run of 100,000 methods.
#include "Application.h"
#include "FProgress.h"
#include "LinesPage.h"
#include "LinesView.h"
#include "MemoOutput.h"
#include "UnitTest.h"
#include "UnitTestBase.h"

#include <QLabel>
#include <QScrollBar>

#include <malloc.h>
#include <time.h>

#include <cstdio>
#include <functional>
#include <string>

using namespace Kalvoro;

namespace {

// The machine is shared: the figures are the thread's own processor time,
// which other programs on it disturb far less than the wall time.
double ThreadMilliseconds() {
  timespec Time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Time);
  return Time.tv_sec * 1e3 + Time.tv_nsec / 1e6;
}

double MillisecondsOf(const std::function<void()>& aBody) {
  const double Start = ThreadMilliseconds();
  aBody();
  return ThreadMilliseconds() - Start;
}

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// A log line as a run writes them, numbered so that each is different.
std::string LogLine(int aIndex) {
  return "      SUCCESS TPagesBench.TestMethod" + std::to_string(aIndex % 100000) +
         " holds value " + std::to_string(aIndex);
}

// One unit test with many methods that each pass one check.
class TManyMethods : public TUnitTest {
public:
  TManyMethods(TModule* aModule, int aCount) : TUnitTest(aModule), FCount(aCount) {}
  void Register() override {
    for (int Index = 0; Index < FCount; ++Index)
      RegisterMethod(static_cast<void (TUnitTestBase::*)()>(&TManyMethods::TestPasses),
                     "TestMethod" + std::to_string(Index));
  }
  void TestPasses() { Check(true, "holds"); }

private:
  int FCount;
};

void PagesBench() {
  constexpr int Lines = 1000000;
  std::size_t TextBytes = 0;
  for (int Index = 0; Index < Lines; ++Index)
    TextBytes += LogLine(Index).size();

  {
    // The floor: the same lines copied into a plain list of strings.
    std::vector<std::string> Texts, Copies;
    for (int Index = 0; Index < Lines; ++Index)
      Texts.push_back(LogLine(Index));
    const double Copy = MillisecondsOf([&] {
      for (const std::string& Text : Texts)
        Copies.emplace_back(Text);
    });
    std::printf("copy %d lines into a std::vector<std::string>: %.1f ns a line\n", Lines,
                Copy * 1e6 / Lines);
  }
  for (const bool Shown : {false, true}) {
    TLinesPage Page;
    TLinesView View;
    if (Shown) {
      View.setModel(&Page);
      View.resize(600, 400);
      View.show();
      QCoreApplication::processEvents();
    }
    std::vector<std::string> Texts;
    Texts.reserve(Lines);
    for (int Index = 0; Index < Lines; ++Index)
      Texts.push_back(LogLine(Index));
    const std::size_t Before = HeapInUse();
    const double Append = MillisecondsOf([&] {
      for (const std::string& Text : Texts)
        Page.Append(Text);
      Page.Flush();
    });
    const std::size_t Used = HeapInUse() - Before;
    std::printf("append %d lines (%s): %.1f ns a line; page memory %.2f x the text (%.1f MB "
                "for %.1f MB)\n",
                Lines, Shown ? "page shown" : "no view", Append * 1e6 / Lines,
                double(Used) / double(TextBytes), Used / 1e6, TextBytes / 1e6);
    if (!Shown)
      continue;
    const double Layout = MillisecondsOf([&] {
      QCoreApplication::processEvents();
      View.viewport()->repaint();
    });
    View.verticalScrollBar()->setValue(0);
    View.viewport()->repaint();
    const double ToEnd = MillisecondsOf([&] {
      View.scrollToBottom();
      View.viewport()->repaint();
    });
    const double FindLast = MillisecondsOf([&] {
      View.Find(QStringLiteral("holds VALUE 999999"), 0);
      View.viewport()->repaint();
    });
    const double FindNone = MillisecondsOf([&] { View.Find(QStringLiteral("absent text"), 0); });
    std::printf("shown page of %d lines: layout and paint %.1f ms, scroll to the end %.2f ms, "
                "find the last line %.1f ms, find nothing %.1f ms\n",
                Lines, Layout, ToEnd, FindLast, FindNone);
  }
}

// Runs aMethods passing methods with the Log page's sink, once directly and
// once through the progress window; the difference per message is what the
// window costs. Each method sends 6 progress messages and one check.
void ProgressBench(int aMethods) {
  TModule Module("bench.so");
  TManyMethods Test(&Module, aMethods);
  Test.SetName("TPagesBench");
  Test.Register();
  TTestScenario Scenario("Bench");
  Scenario.AddUnitTest(&Test);
  const double Messages = 7.0 * aMethods + 4;

  double Direct = 0;
  double Window = 0;
  for (int Round = 0; Round < 5; ++Round) {
    TLinesPage Log, Errors, Summary;
    {
      TMemoOutput Output(&Scenario, &Log, &Errors, &Summary);
      const double Time = MillisecondsOf([&] { Scenario.Run(); });
      Direct = Round == 0 ? Time : std::min(Direct, Time);
    }
    Log.Clear();
    {
      TMemoOutput Output(&Scenario, &Log, &Errors, &Summary);
      // The window's 100 ms wait costs no processor time.
      const double Time = MillisecondsOf([&] { TProgressForm::ShowProgress(&Scenario); });
      Window = Round == 0 ? Time : std::min(Window, Time);
    }
  }
  std::printf("run of %d methods with the sink: %.1f ms directly, %.1f ms in the progress "
              "window: %.0f ns more per message\n",
              aMethods, Direct, Window, (Window - Direct) * 1e6 / Messages);

  // What an unthrottled window would cost: a repaint per change.
  TProgressForm Form(&Scenario);
  Form.show();
  QCoreApplication::processEvents();
  constexpr int Repaints = 300;
  const double Repaint = MillisecondsOf([&] {
    for (int Index = 0; Index < Repaints; ++Index) {
      Form.lblUnitTestMethod->setText(QString::number(Index));
      Form.repaint();
    }
  });
  std::printf("one synchronous repaint of the window: %.3f ms (a repaint per change would add "
              "%.1f s to this run)\n",
              Repaint / Repaints, Repaint / Repaints * 4 * aMethods / 1000);
  Form.hide();
  Scenario.RemoveAllUnitTests();
}

} // namespace

int main(int aArgc, char** aArgv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  TMorvaneApplication Application(aArgc, aArgv);
  PagesBench();
  ProgressBench(100000);
  return 0;
}
