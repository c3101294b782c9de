// The runner core: a sink for exactly one scenario run, Start All, and the
// report files.
#include "RunnerCore.h"

#include "ReportingTestSupport.h"
#include "TestFiles.h"
#include "UnitTestBase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <stdlib.h>

namespace ReportingTest {
namespace {

namespace fs = std::filesystem;

// A sink that says in aEvents when it is made and freed and what it writes.
class TTracingOutput : public TOutput {
public:
  TTracingOutput(TTestScenario& aScenario, std::vector<std::string>& aEvents,
                 bool aSummaryRaises = false)
      : TOutput(&aScenario, Slashes, SequenceClock({Begin, End})), FEvents(aEvents),
        FSummaryRaises(aSummaryRaises) {
    FEvents.push_back("made " + aScenario.Name());
  }
  ~TTracingOutput() override { FEvents.push_back("freed"); }

protected:
  void WriteLog(const std::string&) override {}
  void WriteError(const std::string& aText) override { FEvents.push_back("error " + aText); }
  void WriteSummary(const std::string& aText) override {
    if (FSummaryRaises)
      throw Exception("disk full");
    if (aText.rfind("Total", 0) == 0)
      FEvents.push_back("summary " + aText);
  }

private:
  std::vector<std::string>& FEvents;
  bool FSummaryRaises;
};

struct TTrace {
  std::vector<std::string> Events;
  TRunHooks Hooks{
      [this](TTestScenario& aScenario) { Events.push_back("before " + aScenario.Name()); },
      [this](TTestScenario& aScenario) { Events.push_back("after " + aScenario.Name()); },
      [this](TTestScenario& aScenario) { Events.push_back("summary hook " + aScenario.Name()); },
      {}};
  TSinkFactory Sink(bool aSummaryRaises = false) {
    return [this, aSummaryRaises](TTestScenario& aScenario) {
      return std::make_unique<TTracingOutput>(aScenario, Events, aSummaryRaises);
    };
  }
};

TEST(RunnerCore, SinkListensToExactlyItsRunAlsoWhenTheRunOrTheSummaryRaises) {
  TSampleScenario Sample;
  TTestScenario& Scenario = Sample.Scenario;
  TTrace Run;
  RunScenario(Scenario, Run.Sink(), {}, Run.Hooks);
  EXPECT_EQ(
      Run.Events,
      (std::vector<std::string>{
          "made Nightly", "before Nightly", "error FAILURE (TMathTest.TestDivide) third is 0.33",
          "error EXCEPTION (TMathTest.TestDivide) Index out of range",
          "error EXCEPTION (TMathTest.TestModulo) Modulo by zero", "after Nightly",
          "summary Total number of UnitTest Methods = 4", "summary hook Nightly", "freed"}));
  EXPECT_EQ(Scenario.StateNotifications().Count(), 0);

  // A run step that raises: the sink is freed all the same, no summary, and
  // the error reaches the caller.
  TTrace Raising;
  const TRunStep Fails = [](TTestScenario&) { throw std::runtime_error("window closed"); };
  EXPECT_THROW(RunScenario(Scenario, Raising.Sink(), Fails, Raising.Hooks), std::runtime_error);
  EXPECT_EQ(Raising.Events,
            (std::vector<std::string>{"made Nightly", "before Nightly", "after Nightly", "freed"}));
  EXPECT_EQ(Scenario.StateNotifications().Count(), 0);

  TTrace SummaryFails;
  EXPECT_THROW(RunScenario(Scenario, SummaryFails.Sink(true), {}, SummaryFails.Hooks), Exception);
  EXPECT_EQ(SummaryFails.Events.back(), "freed");
  EXPECT_EQ(Scenario.StateNotifications().Count(), 0);
}

TEST(RunnerCore, StartAllRunsInOrderDisabledOnesTooAndStopsAtTheFirstError) {
  TSampleScenario Sample;
  TTestScenario Second("Second");
  TTestScenario Third("Third");
  Second.SetEnabled(false);
  const std::vector<TTestScenario*> All{&Sample.Scenario, &Second, &Third};
  EXPECT_EQ(CountRunnableMethods(All), 3); // TFileTest is disabled

  std::vector<std::string> Ran;
  const TRunStep Record = [&](TTestScenario& aScenario) {
    Ran.push_back(aScenario.Name());
    aScenario.Run();
  };
  RunScenarios(All, {}, Record);
  EXPECT_EQ(Ran, (std::vector<std::string>{"Nightly", "Second", "Third"}));
  EXPECT_EQ(Sample.Scenario.GetSummary().MethodFailure(), 1);

  Ran.clear();
  const TRunStep SecondFails = [&](TTestScenario& aScenario) {
    Ran.push_back(aScenario.Name());
    if (&aScenario == &Second)
      throw Exception("stopped");
  };
  EXPECT_THROW(RunScenarios(All, {}, SecondFails), Exception);
  EXPECT_EQ(Ran, (std::vector<std::string>{"Nightly", "Second"}));

  // A stop asked for during a scenario (Morvane's Stop) lets it finish and
  // starts none after it.
  Ran.clear();
  TRunHooks StopAfterSecond;
  StopAfterSecond.Stopped = [&] { return Ran.size() == 2; };
  RunScenarios(All, {}, Record, StopAfterSecond);
  EXPECT_EQ(Ran, (std::vector<std::string>{"Nightly", "Second"}));
}

using KalvoroTest::ReadFile;

class ReportFiles : public ::testing::Test {
protected:
  std::string File(const std::string& aName) const { return Scratch.File(aName); }
  // The three pages' files, in the order Summary, Log, Errors.
  static TPerPage<TPageFile> Pages(TPageFile aSummary, TPageFile aLog, TPageFile aErrors) {
    return {{aSummary, aLog, aErrors}};
  }
  // Saves the pages' lines: Summary, Log and Errors unless told otherwise.
  void Save(const TPerPage<TPageFile>& aFiles, TPerPage<TPageText> aTexts = {}) const {
    const std::vector<std::string>* Lines[] = {&Summary, &Log, &Errors};
    for (TPageKind Kind : PageKinds)
      if (aTexts[Kind].Lines == nullptr && aTexts[Kind].Written == nullptr)
        aTexts[Kind].Lines = Lines[Kind];
    SaveReportFiles(aFiles, aTexts);
  }

  KalvoroTest::TScratchDir Scratch;
  const fs::path& Dir = Scratch.Path();
  const std::vector<std::string> Summary{"sum"};
  const std::vector<std::string> Log{"log 1", "log 2"};
  const std::vector<std::string> Errors{"err"};
  const std::vector<std::string> NoLines{};
};

TEST_F(ReportFiles, EnabledPagesGoInOrderAndAFailureCostsNoOtherPage) {
  // One file for all three: the last page written, Errors, remains.
  Save(Pages({true, File("one.txt")}, {true, File("one.txt")}, {true, File("one.txt")}));
  EXPECT_EQ(ReadFile(File("one.txt")), "err\r\n");

  TPerPage<TPageText> EmptyErrors;
  EmptyErrors[pkErrors].Lines = &NoLines;
  Save(Pages({true, File("s.txt")}, {false, File("l.txt")}, {true, File("e.txt")}), EmptyErrors);
  EXPECT_EQ(ReadFile(File("s.txt")), "sum\r\n");
  EXPECT_FALSE(fs::exists(File("l.txt")));
  EXPECT_EQ(ReadFile(File("e.txt")), "");

  const std::string Unwritable = File("no-such-folder/log.txt");
  const std::string AlsoUnwritable = File("no-such-folder/sum.txt");
  try {
    Save(Pages({true, AlsoUnwritable}, {true, Unwritable}, {true, File("e2.txt")}));
    FAIL() << "no error raised";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()), "Unable to write to " + AlsoUnwritable +
                                             ": No such file or directory\rUnable to write to " +
                                             Unwritable + ": No such file or directory");
  }
  EXPECT_EQ(ReadFile(File("e2.txt")), "err\r\n");
}

TEST_F(ReportFiles, EnabledPageWithoutNameFailsAndStreamedPageIsClosed) {
  EXPECT_THROW(Save(Pages({true, ""}, {true, File("l.txt")}, {})), Exception);
  EXPECT_EQ(ReadFile(File("l.txt")), "log 1\r\nlog 2\r\n");
  // A disabled page needs no name.
  Save(Pages({false, ""}, {true, File("l.txt")}, {}));
  EXPECT_EQ(ReadFile(File("l.txt")), "log 1\r\nlog 2\r\n");

  TLinesFile Streamed(File("streamed.txt"));
  Streamed.WriteLine("as it came");
  TPerPage<TPageText> Texts;
  Texts[pkSummary].Written = &Streamed;
  Save(Pages({true, File("streamed.txt")}, {}, {}), Texts);
  EXPECT_EQ(ReadFile(File("streamed.txt")), "as it came\r\n");
  TLinesFile Full("/dev/full");
  for (int I = 0; I < 20000; ++I)
    Full.WriteLine("a line of a long log that does not fit anywhere");
  Texts[pkSummary].Written = &Full;
  EXPECT_THROW(Save(Pages({true, "/dev/full"}, {}, {}), Texts), Exception);
}

TEST_F(ReportFiles, OfPagesNamedToOneFileOnlyTheLastIsKept) {
  const std::string A = File("a.txt");
  const std::string SameA = (Dir / "." / "a.txt").string();
  // The names kept, in the order Summary, Log, Errors ("": not written).
  const auto Kept = [](const TPerPage<std::string>& aNames) {
    const TPerPage<TPageFile> Files = WithoutOverwrittenPages(NamedPageFiles(aNames));
    TPerPage<std::string> Names;
    for (TPageKind Kind : PageKinds)
      Names[Kind] = Files[Kind].Enabled ? Files[Kind].FileName : "";
    return Names.Items;
  };
  using TNames = std::array<std::string, 3>;
  EXPECT_EQ(Kept({{A, SameA, File("e.txt")}}), (TNames{"", SameA, File("e.txt")}));
  EXPECT_EQ(Kept({{A, File("l.txt"), SameA}}), (TNames{"", File("l.txt"), SameA}));
  EXPECT_EQ(Kept({{A, SameA, A}}), (TNames{"", "", A}));
  // Pages not written overwrite nothing.
  EXPECT_EQ(Kept({{A, "", ""}}), (TNames{A, "", ""}));
  const TPerPage<TPageFile> Disabled = Pages({true, A}, {false, A}, {false, A});
  EXPECT_EQ(WithoutOverwrittenPages(Disabled), Disabled);
}

TEST_F(ReportFiles, HardLinksToOneFileAreOnePage) {
  const std::string A = File("a.txt");
  const std::string B = File("b.txt");
  std::ofstream(A) << "old";
  fs::create_hard_link(A, B);
  const TPerPage<TPageFile> Files = WithoutOverwrittenPages(NamedPageFiles({{"", A, B}}));
  EXPECT_FALSE(Files[pkLog].Enabled);
  EXPECT_TRUE(Files[pkErrors].Enabled);
  EXPECT_EQ(Files[pkErrors].FileName, B);
}

TEST_F(ReportFiles, AReportFileThatIsTheProjectAModuleOrTheRunnerIsRefused) {
  const std::string Project = File("p.kvr");
  std::ofstream(Project) << "[Files]";
  std::ofstream(File("m.so")) << "module";
  fs::create_hard_link(Project, File("linked.txt"));
  TModule Module("m.so");
  Module.SetBaseDirectory(Dir.string());
  const std::vector<const TModule*> Modules{&Module};

  EXPECT_EQ(ReportFileConflict({File("log.txt"), "", File("missing/e.txt")}, Project, Modules), "");
  EXPECT_EQ(ReportFileConflict({"", File("linked.txt")}, Project, Modules),
            "The report file \"" + File("linked.txt") + "\" is the project file \"" + Project +
                "\": refused, nothing was run or written");
  const std::string OfModule = ReportFileConflict({(Dir / "." / "m.so").string()}, "", Modules);
  EXPECT_NE(OfModule.find("is the module \"m.so\""), std::string::npos) << OfModule;
  const std::string Runner = fs::read_symlink("/proc/self/exe").string();
  EXPECT_NE(ReportFileConflict({Runner}, "", {}).find("is the running program"), std::string::npos);
  EXPECT_EQ(ReadFile(Project), "[Files]");
}

} // namespace
} // namespace ReportingTest
