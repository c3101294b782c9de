// The JUnit report of whole runs: its XML text, its documents and its file.
#include "JUnitReport.h"

#include "IOutput.h"
#include "JUnitTestSupport.h"
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
