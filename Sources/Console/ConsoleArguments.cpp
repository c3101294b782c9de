// The console runner's command line: its arguments and its help text.
#include "ConsoleRunner.h"

#include "Project.h"
#include "RunSelection.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include <sched.h>

namespace Kalvoro {

namespace {

bool AllDigits(const std::string& aText) {
  return !aText.empty() && std::all_of(aText.begin(), aText.end(),
                                       [](unsigned char C) { return std::isdigit(C) != 0; });
}

// The processors this process may run on.
int UsableProcessors() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  if (sched_getaffinity(0, sizeof Set, &Set) != 0)
    return 1;
  return std::clamp(CPU_COUNT(&Set), 1, MaxJobs);
}

// -j [N], -jN, --jobs N, --jobs=N at aIndex: nullopt when it is none of
// them; false with aError when its number is wrong.
std::optional<bool> JobsOption(const std::vector<std::string>& aArguments, std::size_t& aIndex,
                               TRunnerOptions& aOptions, std::string& aError) {
  const std::string& Argument = aArguments[aIndex];
  const bool Next = aIndex + 1 < aArguments.size();
  std::string Given;
  if (Argument == "-j") {
    // Alone it takes the next argument only when that is a number.
    if (!Next || !AllDigits(aArguments[aIndex + 1])) {
      aOptions.Jobs = UsableProcessors();
      return true;
    }
    Given = aArguments[++aIndex];
  } else if (Argument.size() > 2 && Argument.compare(0, 2, "-j") == 0) {
    Given = Argument.substr(2);
  } else if (Argument == "--jobs") {
    if (!Next) {
      aError = "option --jobs needs a value";
      return false;
    }
    Given = aArguments[++aIndex];
  } else if (Argument.rfind("--jobs=", 0) == 0) {
    Given = Argument.substr(7);
  } else {
    return std::nullopt;
  }
  int Jobs = 0;
  const auto [End, Error] = std::from_chars(Given.data(), Given.data() + Given.size(), Jobs);
  if (!AllDigits(Given) || Error != std::errc() || End != Given.data() + Given.size() || Jobs < 1 ||
      Jobs > MaxJobs) {
    aError = "option -j needs a whole number from 1 to " + std::to_string(MaxJobs) + ", not \"" +
             Given + "\"";
    return false;
  }
  aOptions.Jobs = Jobs;
  return true;
}

} // namespace

bool IsProjectPath(const std::string& aPath) {
  const std::size_t Dot = aPath.find_last_of('.');
  const std::size_t Slash = aPath.find_last_of('/');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
    return false;
  std::string Extension = aPath.substr(Dot);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return Extension == ".kvr";
}

std::string RunnerHelpText() {
  return R"(Usage:
  kalvoro run MODULE [--junit FILE] [--log FILE] [--errors FILE] [--summary FILE]
                     [--timeout SECONDS] [SELECTION]
  kalvoro run PROJECT.kvr [--scenario NAME]... [--junit FILE] [--no-files]
                          [--log FILE] [--errors FILE] [--summary FILE]
                          [--timeout SECONDS] [SELECTION]
  kalvoro list MODULE|PROJECT.kvr
  kalvoro --help | --version

Runs unit tests headless, as the Morvane manager does.

run MODULE     Loads one test module (.so, .bpl or any shared library, or a
               GoogleTest, Catch2 or doctest test program), puts every unit
               test it registers, enabled, into the scenario "Default
               Scenario" and runs it. Prints the error list as it arrives and
               the summary report at the end.
run PROJECT    Opens a project file and runs the named scenarios in the given
               order, or else every scenario in list order (disabled ones
               too), then writes the project's report files: each one that
               the project enables, to the file it names (a relative name
               counts from the project file's folder).
list           Prints the unit tests with their methods (module), or the
               scenarios with their unit tests and the modules with their
               states (project), one name a line. A name that is empty,
               starts or ends with a blank, starts with '"' or holds a
               control character or '\' is shown between double quotes,
               with '"', '\' and control characters escaped ("\n", "\t").

Options:
  --junit FILE     also write a JUnit XML report for CI systems
  --log FILE       write the log page to FILE (for a project: instead of
                   the project's log file)
  --errors FILE    write the error list to FILE (likewise)
  --summary FILE   write the summary report to FILE (likewise)
  --scenario NAME  run this scenario (project mode; may be repeated)
  --no-files       do not write the project's report files (project mode)
  --timeout SECONDS
                   end Init, a method or Exit that runs longer than SECONDS
                   (decimals allowed, e.g. 0.5) as an exception of its own;
                   for a project, instead of the project's time limit
  --in-process     run the tests inside the runner's own process
  --hosts          run the tests in hosts (the default), also for a project
                   whose options choose to run them in process
  -j N, --jobs N   run N unit tests at once, each in a host of its own (-jN
                   and --jobs=N too; -j alone: as many as the processors
                   this process may use); the reports are those of the
                   serial run of the same plan, times aside. 1 (the
                   default) runs one at a time; in process there is only 1
  --serial PATTERN never run a unit test beside another when one of its
                   methods passes PATTERN (--filter's form), e.g.
                   "TDatabaseTest.*:TPortTest.*"; for a project, instead of
                   its Serial option
  --verbose, -v    print every log line instead of the error list
  --no-progress    no progress bar on a terminal
  --help, -h       show this text
  --version        show the version

Selection (what runs, in what order, how often):
  --filter PATTERN run only the methods whose "TUnitTest.Method" matches
                   PATTERN, POSITIVE[-NEGATIVE]: each part a list of globs
                   separated by ':' ('*' any characters, '?' one); a method
                   runs when it matches a positive glob (none given: all) and
                   no negative one, e.g. "TMathTest.*:TStack*-*.TestPop".
                   The others keep SKIPPED (<skipped/> in JUnit), their Init
                   and Exit do not run; a unit test with none left does not
                   run at all. A name without '*' or '?' matches only itself.
                   "@U.M" stands for the M-th method of the U-th unit test,
                   both counted from 1 in the order "kalvoro list" shows
                   them (a project's across the scenarios that run),
                   whatever their names: it selects a method whose name is
                   empty, repeated or holds '.', ':' or '-'.
  --shard INDEX/COUNT
                   run one shard of COUNT (INDEX from 0): of the methods the
                   filter leaves, in list order, the k-th runs in shard
                   k mod COUNT, so the shards together run each method once.
                   Without it the environment's TEST_SHARD_INDEX and
                   TEST_TOTAL_SHARDS give the shard; the option wins when
                   both are given.
  --repeat N       run the selection N times, a summary after each; the exit
                   code is 1 if any run failed
  --until-failure  stop after the first run with a failure or an exception
                   (at most N runs with --repeat N, else no limit)
  --shuffle        run the unit tests of each scenario and the methods of
                   each unit test in a random order, printing the seed of
                   each run; shards are still taken from the list order
  --seed S         shuffle with seed S (implies --shuffle); a repeated run r
                   takes S + r - 1, so each printed seed gives its run back

Report files hold exactly the manager's pages, every line ended by CR LF.
After --repeat they hold every run, one after another; so does the JUnit
report, whose suites are then named "run N/SCENARIO/TUnitTest".

Environment (as test engines set it):
  TEST_TOTAL_SHARDS, TEST_SHARD_INDEX   the shard, unless --shard is given
  TEST_SHARD_STATUS_FILE                created or touched by a run
  XML_OUTPUT_FILE                       the JUnit report, unless --junit is given

Hosts: the tests run in host processes (kalvoro-host) while the runner only
reads what they report, so a crash, a hang past the time limit, the exit_group
system call, a heap corruption or a thread that outlives its test cannot take
the run with it:
the running phase ends as an exception ("Test process ended by SIGSEGV",
"Test process exited with status 0", "Time limit of 1 s exceeded") and the
next method runs in a fresh host. A project keeps its choice in the section
[Kalvoro/Options] of its file: Hosts=0 runs it in process, TimeLimit=N gives
each Init, method and Exit N whole seconds (0: no limit), Jobs=N runs N unit
tests at once and Serial=PATTERN keeps those it names apart, as -j and
--serial do.

Parallel runs (-j N): a unit test's methods run in one host in their order;
the unit tests after the one being reported run ahead in other hosts and
wait, kept, until the run comes to them, so the log, the error list, the
summary and JUnit are those of the serial run (the same seed, the same
repeat), but for times. A unit test that relies on state left in the process
by an earlier one sees a process of its own: name it with --serial, or run
with -j 1. Ctrl+C lets the running methods end and starts no more; a second
one ends them.

Exit codes:
  0  every method that was to run reported its result, and every one
     succeeded
  1  a method failed or raised an error, a test process died, a run was
     stopped, or the project's load report was not empty (a unit test
     missing or not assigned, an option that could not be read)
  2  wrong arguments, the module or project could not be loaded, a report
     file could not be written, or standard output could not be written
  130, 143
     the run was interrupted by SIGINT (Ctrl+C) or SIGTERM: the running
     method ends as an exception, the rest keep SKIPPED, and the summary, the
     report files and the JUnit report (property "interrupted") hold what
     ran; a test process that has not ended 3 s after the signal, or at a
     second one, is killed; in process a second signal ends the runner at once

Lines are written as they arrive, on standard output and in the files; only
in a flood (more than 16 lines in 5 ms) do the rest wait for the next 5 ms.
)";
}

void ResolveRunOptions(TRunnerOptions& aOptions, const TProjectOptions* aProject) {
  const TProjectOptions Options = aProject != nullptr ? *aProject : TProjectOptions();
  aOptions.Hosts = aOptions.HostsGiven.value_or(Options.Hosts);
  aOptions.Serial = aOptions.SerialGiven.value_or(Options.Serial);
  if (aOptions.Jobs == 0)
    aOptions.Jobs = Options.Jobs;
  aOptions.JobsNote.clear();
  if (!aOptions.Hosts && aOptions.Jobs > 1) {
    aOptions.Jobs = 1;
    aOptions.JobsNote = "The tests run in process, so one at a time";
  }
  // --timeout takes only values above 0, so 0 means it was not given.
  if (aOptions.TimeLimit <= 0)
    aOptions.TimeLimit = Options.TimeLimit;
}

bool ParseRunnerArguments(const std::vector<std::string>& aArguments, TRunnerOptions& aOptions,
                          std::string& aError) {
  aOptions = TRunnerOptions();
  std::size_t Index = 0;
  auto Value = [&](const std::string& aOption, std::string& aTarget) {
    if (Index + 1 >= aArguments.size()) {
      aError = "option " + aOption + " needs a value";
      return false;
    }
    // A missing value must not make the next option a file name.
    const std::string& Given = aArguments[Index + 1];
    if (Given.empty() || Given.rfind("--", 0) == 0) {
      aError = "option " + aOption + " needs a value, not \"" + Given + "\"";
      return false;
    }
    aTarget = aArguments[++Index];
    return true;
  };
  for (; Index < aArguments.size(); ++Index) {
    const std::string& Argument = aArguments[Index];
    if (Argument == "--help" || Argument == "-h") {
      aOptions.Command = "help";
      return true;
    }
    if (Argument == "--version") {
      aOptions.Command = "version";
      return true;
    }
    if (Argument == "--junit") {
      if (!Value(Argument, aOptions.JUnitFile))
        return false;
    } else if (Argument == "--log") {
      if (!Value(Argument, aOptions.PageFiles[pkLog]))
        return false;
    } else if (Argument == "--errors") {
      if (!Value(Argument, aOptions.PageFiles[pkErrors]))
        return false;
    } else if (Argument == "--summary") {
      if (!Value(Argument, aOptions.PageFiles[pkSummary]))
        return false;
    } else if (Argument == "--scenario") {
      std::string Name;
      if (!Value(Argument, Name))
        return false;
      aOptions.Scenarios.push_back(Name);
    } else if (Argument == "--timeout") {
      std::string Given;
      if (!Value(Argument, Given))
        return false;
      double Seconds = 0;
      const auto [End, Error] = std::from_chars(Given.data(), Given.data() + Given.size(), Seconds,
                                                std::chars_format::fixed);
      if (Error != std::errc() || End != Given.data() + Given.size() || !std::isfinite(Seconds) ||
          Seconds <= 0) {
        aError = "option --timeout needs a number of seconds above 0, not \"" + Given + "\"";
        return false;
      }
      aOptions.TimeLimit = Seconds;
    } else if (Argument == "--filter") {
      if (!Value(Argument, aOptions.Filter))
        return false;
    } else if (Argument == "--shard") {
      TShard Shard;
      if (!Value(Argument, aOptions.Shard) || !ParseShard(aOptions.Shard, Shard, aError))
        return false;
    } else if (Argument == "--repeat") {
      std::string Given;
      if (!Value(Argument, Given))
        return false;
      const auto [End, Error] =
          std::from_chars(Given.data(), Given.data() + Given.size(), aOptions.Repeat);
      if (Error != std::errc() || End != Given.data() + Given.size() || aOptions.Repeat < 1) {
        aError = "option --repeat needs a whole number above 0, not \"" + Given + "\"";
        return false;
      }
    } else if (Argument == "--seed") {
      std::string Given;
      if (!Value(Argument, Given))
        return false;
      const auto [End, Error] =
          std::from_chars(Given.data(), Given.data() + Given.size(), aOptions.ShuffleNumber);
      if (Given[0] == '-' || Error != std::errc() || End != Given.data() + Given.size()) {
        aError = "option --seed needs a whole number from 0 to 18446744073709551615, not \"" +
                 Given + "\"";
        return false;
      }
      aOptions.ShuffleNumberGiven = true;
    } else if (const std::optional<bool> Jobs = JobsOption(aArguments, Index, aOptions, aError)) {
      if (!*Jobs)
        return false;
    } else if (Argument == "--serial") {
      std::string Pattern;
      if (!Value(Argument, Pattern))
        return false;
      aOptions.SerialGiven = Pattern;
    } else if (Argument == "--in-process" || Argument == "--hosts") {
      const bool Hosts = Argument == "--hosts";
      if (aOptions.HostsGiven.value_or(Hosts) != Hosts) {
        aError = "options --in-process and --hosts exclude each other";
        return false;
      }
      aOptions.HostsGiven = Hosts;
    } else if (Argument == "--until-failure") {
      aOptions.UntilFailure = true;
    } else if (Argument == "--shuffle") {
      aOptions.Shuffle = true;
    } else if (Argument == "--no-files") {
      aOptions.NoFiles = true;
    } else if (Argument == "--verbose" || Argument == "-v") {
      aOptions.Verbose = true;
    } else if (Argument == "--no-progress") {
      aOptions.Progress = false;
    } else if (Argument.size() > 1 && Argument[0] == '-') {
      aError = "unknown option " + Argument;
      return false;
    } else if (aOptions.Command.empty()) {
      if (Argument != "run" && Argument != "list") {
        aError = "unknown command \"" + Argument + "\" (use run or list)";
        return false;
      }
      aOptions.Command = Argument;
    } else if (aOptions.Target.empty()) {
      aOptions.Target = Argument;
    } else {
      aError = "unexpected argument \"" + Argument + "\"";
      return false;
    }
  }
  if (aOptions.Command.empty()) {
    aError = "no command given";
    return false;
  }
  if (aOptions.Target.empty()) {
    aError = "no module or project file given";
    return false;
  }
  if (aOptions.Jobs > 1 && aOptions.HostsGiven == false) {
    aError = "option -j " + std::to_string(aOptions.Jobs) +
             " needs hosts: --in-process runs one test at a time";
    return false;
  }
  return true;
}

} // namespace Kalvoro
