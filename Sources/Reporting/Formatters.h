// Formatters that turn run messages into log lines and error-list lines, and a
// finished scenario into its summary report.
#pragma once

#include "NotificationMessages.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TTestScenario;

// A local date and time, as the reports print it.
struct TDateTime {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// Where the formatters take "now" from; tests pin it.
using TClock = std::function<TDateTime()>;

// The current local date and time.
TDateTime CurrentDateTime();

// The separators that the reports put between date parts and time parts.
struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
};

// The separators of the user's locale, read through nl_langinfo after the
// program's setlocale; a part whose separator cannot be told (or is not a
// single ASCII character) keeps its default.
TFormatSettings LocaleFormatSettings();

// The name of the locale that setlocale(LC_TIME, "") would take from the
// environment: LC_ALL, else LC_TIME, else LANG, the first that is set and not
// empty; "C" when there is none.
std::string EnvironmentTimeLocale();
// True for a name of the C locale ("C", "POSIX", "C.UTF-8", "C.utf8"), whose
// separators are the defaults.
bool IsCLocaleName(std::string_view aName);

// Both programs at start-up: the locale's time settings from the environment
// (setlocale(LC_TIME, "")) and its separators as the default settings, so
// that their reports write the user's regional separators alike.
void InstallLocaleFormatSettings();

// The settings that formatters and sinks use unless they are given others.
// They start as the defaults ("/" and ":"); a program may install the
// locale's at start-up.
TFormatSettings GetDefaultFormatSettings();
void SetDefaultFormatSettings(const TFormatSettings& aSettings);

// The separator that a strftime pattern puts between its parts ("%d.%m.%Y"
// gives '.', "%T" gives ':'), or aDefault when it has none that is a single
// ASCII punctuation character.
char SeparatorOfPattern(std::string_view aPattern, char aDefault);

// Appends day, month and year (two, two and at least four digits) joined by
// aDateSeparator, a space, then hours, minutes and seconds joined by
// aTimeSeparator.
void AppendDateTime(std::string& aText, const TDateTime& aDateTime, char aDateSeparator,
                    char aTimeSeparator);

// One line of the run log per message, indented by the nesting of scenario,
// unit test and method.
class TLogFormatter {
public:
  explicit TLogFormatter(const TFormatSettings& aSettings = GetDefaultFormatSettings(),
                         TClock aClock = CurrentDateTime);

  // Overwrites aText with the log line for aMessage, or empties it when the
  // message gives no line. BEGIN and END lines change the depth.
  void Format(const TCustomMessage& aMessage, std::string& aText);
  // The prefix of every line at the current depth: none while negative, else
  // depth + 1 times two spaces.
  std::string GetIndent() const;
  int Indent() const { return FIndent; }

private:
  void AppendNow(std::string& aText) const;

  int FIndent = -1;
  TFormatSettings FSettings;
  TClock FClock;
};

// One error-list line for each failed check and each exception.
class TErrorFormatter {
public:
  // Overwrites aText with the error line for aMessage, or empties it.
  void Format(const TCustomMessage& aMessage, std::string& aText) const;
};

// The summary report of a scenario that has run.
class TSummaryFormatter {
public:
  // Raises Exception("TestScenario not assigned") when aTestScenario is nullptr.
  explicit TSummaryFormatter(TTestScenario* aTestScenario,
                             const TFormatSettings& aSettings = GetDefaultFormatSettings(),
                             TClock aClock = CurrentDateTime);

  // Rebuilds the report from the scenario's current state. The list stays
  // owned by the formatter and is valid until the next Format.
  const std::vector<std::string>& Format();
  const std::vector<std::string>& Lines() const { return FLines; }

private:
  std::vector<std::string> FLines;
  TTestScenario* FTestScenario;
  TFormatSettings FSettings;
  TClock FClock;
};

} // namespace Kalvoro
