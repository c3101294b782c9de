#include "Formatters.h"

#include "UnitTestBase.h"

#include <langinfo.h>

#include <cctype>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <ctime>

namespace Kalvoro {

namespace {

TFormatSettings DefaultSettings;

void AppendDigits(std::string& aText, int aValue, int aWidth) {
  char Buffer[16];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, aValue);
  const int Length = static_cast<int>(Result.ptr - Buffer);
  if (aValue >= 0 && Length < aWidth)
    aText.append(static_cast<std::size_t>(aWidth - Length), '0');
  aText.append(Buffer, Result.ptr);
}

void AppendNumber(std::string& aText, int aValue) {
  AppendDigits(aText, aValue, 0);
}

TDateTime Now(const TClock& aClock) {
  return aClock ? aClock() : CurrentDateTime();
}

const TMessageBase& AsBase(const TCustomMessage& aMessage) {
  return static_cast<const TMessageBase&>(aMessage);
}

// "(" + unit test + "." + method + ") " + text: the error list's form.
void AppendPlaceFirst(std::string& aText, const char* aWord, const TMessageBase& aMessage) {
  aText.append(aWord);
  aText.append(" (");
  aText.append(aMessage.UnitTestName());
  aText.push_back('.');
  aText.append(aMessage.MethodName());
  aText.append(") ");
  aText.append(aMessage.Message());
}

const char* ResultWord(TUnitTestResult aResult) {
  switch (aResult) {
  case tcrTodo:
    return "SKIPPED   ";
  case tcrSuccess:
    return "SUCCESS   ";
  case tcrFailure:
    return "FAILURE   ";
  case tcrException:
    return "EXCEPTION ";
  }
  return "SKIPPED   ";
}

std::string CountLine(const char* aLabel, int aValue) {
  std::string Line(aLabel);
  AppendNumber(Line, aValue);
  return Line;
}

} // namespace

// ---------------------------------------------------------------------------
// Date, time and separators

TDateTime CurrentDateTime() {
  const std::time_t Seconds = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Seconds, &Local);
  return TDateTime{Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday,
                   Local.tm_hour,        Local.tm_min,     Local.tm_sec};
}

char SeparatorOfPattern(std::string_view aPattern, char aDefault) {
  for (std::size_t I = 0; I < aPattern.size(); ++I) {
    const char C = aPattern[I];
    if (C != '%') {
      const auto Code = static_cast<unsigned char>(C);
      // Only a single ASCII punctuation character can serve as a separator.
      if (Code < 0x80 && std::ispunct(Code))
        return C;
      if (Code >= 0x80)
        return aDefault;
      continue;
    }
    // Skip the conversion's flags and modifiers, then look at its letter.
    ++I;
    while (I < aPattern.size() &&
           std::string_view("EO-_0^#").find(aPattern[I]) != std::string_view::npos)
      ++I;
    if (I >= aPattern.size())
      break;
    switch (aPattern[I]) {
    case 'D':
      return '/';
    case 'F':
      return '-';
    case 'T':
    case 'R':
    case 'r':
      return ':';
    default:
      break;
    }
  }
  return aDefault;
}

TFormatSettings LocaleFormatSettings() {
  TFormatSettings Settings;
  Settings.DateSeparator = SeparatorOfPattern(nl_langinfo(D_FMT), Settings.DateSeparator);
  Settings.TimeSeparator = SeparatorOfPattern(nl_langinfo(T_FMT), Settings.TimeSeparator);
  return Settings;
}

std::string EnvironmentTimeLocale() {
  for (const char* Variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* Value = std::getenv(Variable);
    if (Value != nullptr && *Value != '\0')
      return Value;
  }
  return "C";
}

bool IsCLocaleName(std::string_view aName) {
  return aName == "C" || aName == "POSIX" || aName == "C.UTF-8" || aName == "C.utf8";
}

void InstallLocaleFormatSettings() {
  // Those of the C locale are the defaults; loading it would only cost time.
  if (IsCLocaleName(EnvironmentTimeLocale()))
    return;
  std::setlocale(LC_TIME, "");
  SetDefaultFormatSettings(LocaleFormatSettings());
}

TFormatSettings GetDefaultFormatSettings() {
  return DefaultSettings;
}

void SetDefaultFormatSettings(const TFormatSettings& aSettings) {
  DefaultSettings = aSettings;
}

void AppendDateTime(std::string& aText, const TDateTime& aDateTime, char aDateSeparator,
                    char aTimeSeparator) {
  AppendDigits(aText, aDateTime.Day, 2);
  aText.push_back(aDateSeparator);
  AppendDigits(aText, aDateTime.Month, 2);
  aText.push_back(aDateSeparator);
  AppendDigits(aText, aDateTime.Year, 4);
  aText.push_back(' ');
  AppendDigits(aText, aDateTime.Hour, 2);
  aText.push_back(aTimeSeparator);
  AppendDigits(aText, aDateTime.Minute, 2);
  aText.push_back(aTimeSeparator);
  AppendDigits(aText, aDateTime.Second, 2);
}

// ---------------------------------------------------------------------------
// TLogFormatter

TLogFormatter::TLogFormatter(const TFormatSettings& aSettings, TClock aClock)
    : FSettings(aSettings), FClock(std::move(aClock)) {}

std::string TLogFormatter::GetIndent() const {
  if (FIndent < 0)
    return {};
  return std::string(2 * (static_cast<std::size_t>(FIndent) + 1), ' ');
}

void TLogFormatter::AppendNow(std::string& aText) const {
  // The log writes its date parts with a literal "-", whatever the locale.
  AppendDateTime(aText, Now(FClock), '-', FSettings.TimeSeparator);
}

void TLogFormatter::Format(const TCustomMessage& aMessage, std::string& aText) {
  aText.clear();
  const std::int32_t Id = aMessage.GetId();
  switch (Id) {
  case MessageIdReport:
  case MessageIdCheck: {
    const TMessageBase& Message = AsBase(aMessage);
    aText.append(GetIndent());
    if (Id == MessageIdReport)
      aText.append("REPORT ");
    else
      aText.append(static_cast<const TCheckMessage&>(aMessage).Success() ? "SUCCESS " : "FAILURE ");
    aText.append(Message.Message());
    break;
  }
  case MessageIdException: {
    const TMessageBase& Message = AsBase(aMessage);
    aText.append(GetIndent());
    aText.append("EXCEPTION ");
    aText.append(Message.UnitTestName());
    aText.push_back('.');
    aText.append(Message.MethodName());
    aText.append(" (");
    aText.append(Message.Message());
    aText.push_back(')');
    break;
  }
  case MessageIdProgress: {
    const auto& Message = static_cast<const TProgressMessage&>(aMessage);
    const TProgressType Type = Message.ProgressType();
    const std::string* Name = nullptr;
    switch (Type) {
    case ptScenarioStart:
    case ptScenarioFinish:
      Name = &Message.ScenarioName();
      break;
    case ptUnitTestStart:
    case ptUnitTestFinish:
      Name = &Message.UnitTestName();
      break;
    case ptMethodStart:
    case ptMethodFinish:
      Name = &Message.MethodName();
      break;
    default:
      // The init and exit phases give no line and leave the depth alone.
      return;
    }
    const bool Begin = Type == ptScenarioStart || Type == ptUnitTestStart || Type == ptMethodStart;
    // A BEGIN line takes its prefix before the depth rises, an END line after
    // it falls, so both lines of a pair share their indentation.
    if (!Begin)
      --FIndent;
    aText.append(GetIndent());
    aText.append(Begin ? "BEGIN " : "END ");
    aText.append(*Name);
    if (Type == ptScenarioStart || Type == ptScenarioFinish) {
      aText.append(" (");
      AppendNow(aText);
      aText.push_back(')');
    }
    if (Begin)
      ++FIndent;
    break;
  }
  default:
    break;
  }
}

// ---------------------------------------------------------------------------
// TErrorFormatter

void TErrorFormatter::Format(const TCustomMessage& aMessage, std::string& aText) const {
  aText.clear();
  switch (aMessage.GetId()) {
  case MessageIdCheck:
    if (!static_cast<const TCheckMessage&>(aMessage).Success())
      AppendPlaceFirst(aText, "FAILURE", AsBase(aMessage));
    break;
  case MessageIdException:
    AppendPlaceFirst(aText, "EXCEPTION", AsBase(aMessage));
    break;
  default:
    break;
  }
}

// ---------------------------------------------------------------------------
// TSummaryFormatter

TSummaryFormatter::TSummaryFormatter(TTestScenario* aTestScenario, const TFormatSettings& aSettings,
                                     TClock aClock)
    : FTestScenario(aTestScenario), FSettings(aSettings), FClock(std::move(aClock)) {
  if (aTestScenario == nullptr)
    throw Exception("TestScenario not assigned");
}

const std::vector<std::string>& TSummaryFormatter::Format() {
  static const char* const Rule = "===============================================";

  FLines.clear();
  std::string DateTime;
  AppendDateTime(DateTime, Now(FClock), FSettings.DateSeparator, FSettings.TimeSeparator);

  FLines.emplace_back();
  FLines.emplace_back(Rule);
  FLines.emplace_back("Kalvoro Console Summary");
  FLines.emplace_back("Report Date/Time:  " + DateTime);
  FLines.emplace_back(Rule);
  FLines.emplace_back();

  for (const TUnitTestBase* UnitTest : FTestScenario->UnitTestList())
    for (const TUnitTestMethod* Method : UnitTest->Methods()) {
      std::string Line(ResultWord(Method->TestResult()));
      Line.reserve(Line.size() + UnitTest->Name().size() + 1 + Method->Name().size());
      Line.append(UnitTest->Name());
      Line.push_back('.');
      Line.append(Method->Name());
      FLines.push_back(std::move(Line));
    }

  const TSummary& Summary = FTestScenario->GetSummary();
  FLines.emplace_back();
  FLines.emplace_back("Summary");
  FLines.emplace_back("=======");
  FLines.push_back(CountLine("Total number of UnitTest Methods = ", Summary.TotalMethods()));
  FLines.push_back(CountLine("# Skipped    = ", Summary.MethodTodo()));
  FLines.push_back(CountLine("# Success    = ", Summary.MethodSuccess()));
  FLines.push_back(CountLine("# Failures   = ", Summary.MethodFailure()));
  FLines.push_back(CountLine("# Exceptions = ", Summary.MethodException()));
  if (Summary.DroppedMessages() > 0)
    FLines.push_back(CountLine("# Dropped    = ", Summary.DroppedMessages()) +
                     " (checks and reports from a test's threads after their method ended)");
  return FLines;
}

} // namespace Kalvoro
