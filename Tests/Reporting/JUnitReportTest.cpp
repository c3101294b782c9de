#include "JUnitReport.h"

#include "IOutput.h"
#include "ReportingTestSupport.h"
#include "XmlText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace ReportingTest {
namespace {

// Every reading is 123 microseconds after the previous one.
TSteadyClock TickingClock() {
  auto Now = std::make_shared<std::chrono::nanoseconds>(0);
  return [Now] { return *Now += std::chrono::microseconds(123); };
}

// The document with every check's "FILE:LINE: " taken out.
std::string WithoutLocations(const std::string& aXml) {
  static const std::regex Location(R"([^"<>\n]+\.(h|cpp):[0-9]+: )");
  return std::regex_replace(aXml, Location, "");
}

std::string Escaped(std::string_view aText, bool aAttribute) {
  std::string Xml;
  AppendXmlEscaped(Xml, aText, aAttribute);
  return Xml;
}

// A rough XML 1.0 check: valid UTF-8 of allowed characters only, known
// entity references, quoted attributes, balanced tags and one root element.
// Returns an empty text when the document passes, else what is wrong.
std::string WellFormednessError(const std::string& aXml) {
  for (std::size_t I = 0; I < aXml.size();) {
    const auto C = static_cast<unsigned char>(aXml[I]);
    if (C < 0x20 && C != '\t' && C != '\n' && C != '\r')
      return "control character at " + std::to_string(I);
    const std::size_t Length = C < 0x80   ? 1
                               : C < 0xC2 ? 0
                               : C < 0xE0 ? 2
                               : C < 0xF0 ? 3
                               : C < 0xF5 ? 4
                                          : 0;
    if (Length == 0 || I + Length > aXml.size())
      return "invalid UTF-8 at " + std::to_string(I);
    unsigned Code = Length == 1 ? C : C & (0x7F >> Length);
    for (std::size_t K = 1; K < Length; ++K) {
      const auto Next = static_cast<unsigned char>(aXml[I + K]);
      if ((Next & 0xC0) != 0x80)
        return "invalid UTF-8 at " + std::to_string(I);
      Code = (Code << 6) | (Next & 0x3F);
    }
    const unsigned Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Code < Least[Length] || (Code >= 0xD800 && Code <= 0xDFFF) || Code == 0xFFFE ||
        Code == 0xFFFF || Code > 0x10FFFF)
      return "not an XML character at " + std::to_string(I);
    I += Length;
  }
  const std::string Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (aXml.compare(0, Declaration.size(), Declaration) != 0)
    return "no XML declaration";
  auto EntityOk = [&](std::size_t aAt) {
    const std::size_t Semicolon = aXml.find(';', aAt);
    if (Semicolon == std::string::npos)
      return false;
    const std::string Name = aXml.substr(aAt + 1, Semicolon - aAt - 1);
    if (Name == "amp" || Name == "lt" || Name == "gt" || Name == "quot" || Name == "apos")
      return true;
    return Name.size() > 1 && Name[0] == '#' &&
           Name.find_first_not_of("0123456789", 1) == std::string::npos;
  };
  std::vector<std::string> Open;
  int Roots = 0;
  std::size_t I = Declaration.size();
  while (I < aXml.size()) {
    if (aXml[I] == '&') {
      if (!EntityOk(I))
        return "bad entity at " + std::to_string(I);
      ++I;
    } else if (aXml[I] != '<') {
      if (Open.empty() && aXml[I] != '\n')
        return "text outside the root at " + std::to_string(I);
      ++I;
    } else {
      const bool Closing = aXml[I + 1] == '/';
      std::size_t J = I + (Closing ? 2 : 1);
      const std::size_t NameEnd = aXml.find_first_of(" />", J);
      const std::string Name = aXml.substr(J, NameEnd - J);
      if (Name.empty())
        return "tag without name at " + std::to_string(I);
      J = NameEnd;
      // Attributes: name="value" with no '<' or raw quote inside.
      while (aXml[J] == ' ') {
        const std::size_t Equals = aXml.find("=\"", J);
        const std::size_t Quote = aXml.find('"', Equals + 2);
        if (Equals == std::string::npos || Quote == std::string::npos)
          return "bad attribute at " + std::to_string(J);
        const std::string Value = aXml.substr(Equals + 2, Quote - Equals - 2);
        if (Value.find('<') != std::string::npos)
          return "'<' in attribute at " + std::to_string(J);
        for (std::size_t A = Value.find('&'); A != std::string::npos; A = Value.find('&', A + 1))
          if (!EntityOk(Equals + 2 + A))
            return "bad entity in attribute at " + std::to_string(J);
        J = Quote + 1;
      }
      const bool Empty = aXml.compare(J, 2, "/>") == 0;
      if (!Empty && aXml[J] != '>')
        return "unterminated tag at " + std::to_string(I);
      if (Closing) {
        if (Open.empty() || Open.back() != Name)
          return "mismatched </" + Name + ">";
        Open.pop_back();
      } else {
        if (Open.empty() && ++Roots > 1)
          return "second root element";
        if (!Empty)
          Open.push_back(Name);
      }
      I = J + (Empty ? 2 : 1);
    }
  }
  if (!Open.empty())
    return "unclosed <" + Open.back() + ">";
  return Roots == 1 ? std::string() : "no root element";
}

TEST(JUnitXmlEscaping, EscapesMarkupAndLineBreaks) {
  EXPECT_EQ(Escaped("a&b<c>d\"e'f", false), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  EXPECT_EQ(Escaped("1\t2\n3\r4", false), "1\t2\n3&#13;4");
  EXPECT_EQ(Escaped("1\t2\n3\r4", true), "1&#9;2&#10;3&#13;4");
}

TEST(JUnitXmlEscaping, ReplacesWhatXmlCannotHold) {
  const std::string R = "\xEF\xBF\xBD";
  // Control characters.
  EXPECT_EQ(Escaped(std::string("a\x01"
                                "b\x1F",
                                4) +
                        std::string(1, '\0'),
                    false),
            "a" + R + "b" + R + R);
  // Valid UTF-8 of two, three and four bytes passes unchanged; DEL is allowed.
  EXPECT_EQ(Escaped("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F", false),
            "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F");
  // Latin-1 bytes, a cut sequence, an overlong form, a surrogate, U+FFFE and a
  // code above U+10FFFF: each bad byte becomes one U+FFFD.
  EXPECT_EQ(Escaped("caf\xE9!", false), "caf" + R + "!");
  EXPECT_EQ(Escaped("\xE2\x82", false), R + R);
  EXPECT_EQ(Escaped("\xC0\xAF", false), R + R);
  EXPECT_EQ(Escaped("\xED\xA0\x80", false), R + R + R);
  EXPECT_EQ(Escaped("\xEF\xBF\xBE", false), R + R + R);
  EXPECT_EQ(Escaped("\xF4\x90\x80\x80", false), R + R + R + R);
}

TEST(JUnitReport, ScenarioRunGivesTheExpectedDocument) {
  TSampleScenario Sample;
  TJUnitReport Report(TickingClock());
  Report.Attach(&Sample.Scenario);
  Sample.Scenario.Run();
  Report.Detach();
  EXPECT_EQ(Report.TestScenario(), nullptr);
  EXPECT_EQ(Sample.Scenario.StateNotifications().Count(), 0);

  const std::string Expected =
      R"(<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="4" failures="1" errors="1" skipped="1" time="0.000369">
  <testsuite name="TMathTest" tests="3" failures="1" errors="1" skipped="0" time="0.000369">
    <testcase name="TestAdd" classname="TMathTest" time="0.000123">
      <system-out>adding done
</system-out>
    </testcase>
    <testcase name="TestDivide" classname="TMathTest" time="0.000123">
      <failure message="third is 0.33">third is 0.33</failure>
      <error message="Index out of range">Index out of range</error>
    </testcase>
    <testcase name="TestModulo" classname="TMathTest" time="0.000123">
      <error message="Modulo by zero">Modulo by zero</error>
    </testcase>
  </testsuite>
  <testsuite name="TFileTest" tests="1" failures="0" errors="0" skipped="1" time="0.000000">
    <testcase name="TestOpen" classname="TFileTest" time="0.000000">
      <skipped/>
    </testcase>
  </testsuite>
</testsuites>
)";
  // A failure names the place of its check, in its message and its text.
  EXPECT_TRUE(std::regex_search(
      Report.GetXml(),
      std::regex(R"(<failure message="[^"]*ReportingTestSupport\.h:[0-9]+: third is 0\.33">)"
                 R"([^<]*ReportingTestSupport\.h:[0-9]+: third is 0\.33</failure>)")))
      << Report.GetXml();
  EXPECT_EQ(WithoutLocations(Report.GetXml()), Expected);
  EXPECT_EQ(WellFormednessError(Expected), "");
  std::ostringstream Stream;
  Report.Write(Stream);
  EXPECT_EQ(Stream.str(), Report.GetXml());
}

// Fixture phases that go wrong, and texts that XML cannot take as they are.
class TFixtureTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestConnect);
    REGISTER_METHOD(TestQuery);
  }
  void Init() override {
    if (CurrentMethodIndex() == 0)
      throw Exception("no database");
  }
  void Exit() override { Check(CurrentMethodIndex() != 0, "cleanup left <files> & \x01 \xFF"); }
  void TestConnect() {}
  void TestQuery() {
    Check(false, "one");
    Check(false, "two\r\nlines");
  }
};

TEST(JUnitReport, FixtureErrorsAreNamedAndMethodsCountByTheirResult) {
  TModule Module("fixture.so");
  TTestScenario Scenario("Data");
  TFixtureTest Fixture(&Module);
  Fixture.SetName("TFixtureTest");
  Fixture.Register();
  Scenario.AddUnitTest(&Fixture);

  TJUnitReport Report(TickingClock());
  Report.Attach(&Scenario);
  Scenario.Run();
  Report.Detach();
  Scenario.RemoveAllUnitTests();

  // TestConnect raised in Init and failed a check in Exit: listed both ways,
  // counted as an error. TestQuery failed twice: one failure.
  EXPECT_EQ(Report.Tests(), 2);
  EXPECT_EQ(Report.Errors(), 1);
  EXPECT_EQ(Report.Failures(), 1);
  EXPECT_EQ(Report.Skipped(), 0);
  EXPECT_EQ(WellFormednessError(Report.GetXml()), "") << Report.GetXml();
  const std::string Xml = WithoutLocations(Report.GetXml());
  EXPECT_NE(Xml.find(R"(<testsuites tests="2" failures="1" errors="1" skipped="0")"),
            std::string::npos);
  EXPECT_NE(Xml.find(R"(<error message="Init: no database">Init: no database</error>)"),
            std::string::npos)
      << Xml;
  EXPECT_NE(Xml.find("<failure message=\"cleanup left &lt;files&gt; &amp; \xEF\xBF\xBD "
                     "\xEF\xBF\xBD\">"),
            std::string::npos)
      << Xml;
  EXPECT_NE(Xml.find("<failure message=\"one\">one\ntwo&#13;\nlines</failure>"), std::string::npos)
      << Xml;
}

TEST(JUnitReport, SeveralScenariosPrefixTheSuiteNames) {
  TSampleScenario Sample;
  TModule Module("smoke.so");
  TTestScenario Smoke("Smoke");
  TFileTest File(&Module);
  File.SetName("TFileTest");
  File.Register();
  Smoke.AddUnitTest(&File);

  TJUnitReport Report(TickingClock());
  Report.Attach(&Sample.Scenario);
  Sample.Scenario.Run();
  // Attaching to the next scenario lets go of the previous one.
  Report.Attach(&Smoke);
  EXPECT_EQ(Sample.Scenario.StateNotifications().Count(), 0);
  {
    const std::string Single = Report.GetXml();
    EXPECT_NE(Single.find(R"(<testsuite name="TMathTest")"), std::string::npos);
  }
  Smoke.Run();
  Report.Detach();
  Smoke.RemoveAllUnitTests();

  const std::string Xml = Report.GetXml();
  EXPECT_EQ(WellFormednessError(Xml), "") << Xml;
  EXPECT_NE(Xml.find(R"(<testsuite name="Nightly/TMathTest")"), std::string::npos);
  EXPECT_NE(
      Xml.find(
          R"(<testsuite name="Nightly/TFileTest" tests="1" failures="0" errors="0" skipped="1")"),
      std::string::npos);
  EXPECT_NE(
      Xml.find(
          R"(<testsuite name="Smoke/TFileTest" tests="1" failures="0" errors="0" skipped="0")"),
      std::string::npos);
  EXPECT_NE(Xml.find(R"(<testcase name="TestOpen" classname="TFileTest" time="0.000123"/>)"),
            std::string::npos);
  EXPECT_EQ(Report.Tests(), 5);
  EXPECT_EQ(Report.Skipped(), 1);

  Report.Clear();
  EXPECT_EQ(Report.GetXml(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"0\" "
                             "failures=\"0\" errors=\"0\" skipped=\"0\" time=\"0.000000\">\n"
                             "</testsuites>\n");
}

// A method whose error a handler answers by raising stops the whole run.
class TStopTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestFirst);
    REGISTER_METHOD(TestStop);
    REGISTER_METHOD(TestAfter);
  }
  void TestFirst() { Check(false, "first failed"); }
  void TestStop() { throw Exception("stop"); }
  void TestAfter() {}
};

TEST(JUnitReport, RunThatRaisedIsClosedOnDetach) {
  TModule Module("stop.so");
  TTestScenario Scenario("Stopped");
  TStopTest Stop(&Module);
  Stop.SetName("TStopTest");
  Stop.Register();
  Scenario.AddUnitTest(&Stop);

  TJUnitReport Report(TickingClock());
  Report.Attach(&Scenario);
  struct TStopper {
    void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
      if (aMessage.GetId() == MessageIdException)
        throw 42;
    }
  } Stopper;
  const TMessageEvent StopEvent = MakeMessageEvent<&TStopper::Handle>(&Stopper);
  Scenario.AddStateNotificationHandler(StopEvent);
  EXPECT_THROW(Scenario.Run(), int);
  Scenario.RemoveStateNotificationHandler(StopEvent);
  Report.Detach();
  Scenario.RemoveAllUnitTests();

  EXPECT_EQ(Report.Tests(), 3);
  EXPECT_EQ(Report.Failures(), 1);
  EXPECT_EQ(Report.Skipped(), 1);
  const std::string Xml = Report.GetXml();
  EXPECT_EQ(WellFormednessError(Xml), "") << Xml;
  EXPECT_NE(Xml.find("<testcase name=\"TestAfter\" classname=\"TStopTest\" time=\"0.000000\">\n"
                     "      <skipped/>"),
            std::string::npos)
      << Xml;
}

// A runner of methods elsewhere (as the run hosts are) that replays each
// method's messages and stops the run in the middle of method StopAt, after
// a failed check when FailFirst.
class TStoppingRunner : public TMethodRunner {
public:
  TStoppingRunner(TTestScenario& aScenario, int aStopAt, bool aFailFirst)
      : FScenario(aScenario), FStopAt(aStopAt), FFailFirst(aFailFirst) {}
  void RunMethod(TUnitTestBase& aUnitTest, int aIndex) override {
    TUnitTestMethod* Method = aUnitTest.Methods().GetItem(aIndex);
    Method->SetTestResult(tcrSuccess);
    Progress(ptInitStart, aUnitTest, "Init");
    Progress(ptInitFinish, aUnitTest, "Init");
    Progress(ptMethodStart, aUnitTest, Method->Name());
    if (aIndex == FStopAt) {
      if (FFailFirst) {
        Method->SetTestResult(tcrFailure);
        auto Check = std::make_unique<TCheckMessage>("failed before the stop", FScenario.Name(),
                                                     aUnitTest.Name(), Method->Name());
        Check->SetSuccess(false);
        FScenario.FireStateNotification(std::move(Check));
      }
      throw 42;
    }
    Progress(ptMethodFinish, aUnitTest, Method->Name());
    Progress(ptExitStart, aUnitTest, "Exit");
    Progress(ptExitFinish, aUnitTest, "Exit");
  }

private:
  void Progress(TProgressType aType, const TUnitTestBase& aUnitTest, const std::string& aPhase) {
    TProgressMessage Message(aType, FScenario.Name(), aUnitTest.Name(), aPhase);
    FScenario.StateNotifications().Deliver(Message);
  }
  TTestScenario& FScenario;
  int FStopAt;
  bool FFailFirst;
};

TEST(JUnitReport, AMethodThatTheRunStoppedInIsAnErrorNeverAPass) {
  const struct {
    bool FailFirst;
    int Failures;
    int Errors;
  } Cases[] = {{false, 0, 1}, {true, 1, 0}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.FailFirst);
    TModule Module("stop.so");
    TTestScenario Scenario("Stopped");
    TStopTest Stop(&Module);
    Stop.SetName("TStopTest");
    Stop.Register();
    Scenario.AddUnitTest(&Stop);
    TStoppingRunner Runner(Scenario, 1, Case.FailFirst);
    Scenario.SetMethodRunner(&Runner);

    TJUnitReport Report(TickingClock());
    Report.Attach(&Scenario);
    EXPECT_THROW(Scenario.Run(), int);
    Report.Detach();
    Scenario.SetMethodRunner(nullptr);
    Scenario.RemoveAllUnitTests();

    EXPECT_EQ(Report.Failures(), Case.Failures);
    EXPECT_EQ(Report.Errors(), Case.Errors);
    EXPECT_EQ(Report.Skipped(), 1);
    const std::string Xml = Report.GetXml();
    EXPECT_EQ(WellFormednessError(Xml), "") << Xml;
    const std::size_t Stopped = Xml.find(R"(<testcase name="TestStop" classname="TStopTest")");
    ASSERT_NE(Stopped, std::string::npos) << Xml;
    EXPECT_LT(Xml.find("The run stopped before the method finished</error>", Stopped),
              Xml.find("</testcase>", Stopped))
        << Xml;
    EXPECT_NE(Xml.find(R"(<testcase name="TestFirst" classname="TStopTest" time="0.000123"/>)"),
              std::string::npos)
        << Xml;
  }
}

TEST(JUnitReport, WriteFileReplacesTheFileOrRaises) {
  TSampleScenario Sample;
  TJUnitReport Report(TickingClock());
  Report.Attach(&Sample.Scenario);
  Sample.Scenario.Run();
  Report.Detach();

  const auto Path = std::filesystem::path(testing::TempDir()) / "kalvoro_junit.xml";
  SaveTextToFile(Path.string(), std::string(100000, 'x'));
  Report.WriteFile(Path.string());
  std::ifstream Stream(Path, std::ios::binary);
  const std::string Written((std::istreambuf_iterator<char>(Stream)),
                            std::istreambuf_iterator<char>());
  EXPECT_EQ(Written, Report.GetXml());
  std::filesystem::remove(Path);

  const std::string Bad = (Path.parent_path() / "kalvoro-no-such-folder" / "junit.xml").string();
  try {
    Report.WriteFile(Bad);
    FAIL() << "no error raised";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()),
              "Unable to write to " + Bad + ": No such file or directory");
  }
}

} // namespace
} // namespace ReportingTest
