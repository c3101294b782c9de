// The console runner in hosts against in process, side by side in one run
// (rounds interleaved, medians): Start All of a project of 200 modules of 500
// passing methods (100,000 methods, the log written to a file), and
// 1,000,000 passing checks of one module, each a line of the log file; then
// 2,000 methods of 1 ms in 20 unit tests with -j 2 against -j 1. Wall time
// of the real program, loading included.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int ModuleCount = 200;

// One run's wall time and CPU time (user and system, of the program and the
// hosts that it waited for), in milliseconds.
struct TTimes {
  double Wall = -1;
  double Cpu = -1;
};

// The times of one run of the program; -1 when it did not end with 0.
TTimes TimeRun(std::vector<std::string> aArguments) {
  std::vector<char*> Argv;
  for (std::string& Argument : aArguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  const auto Start = std::chrono::steady_clock::now();
  pid_t Pid = -1;
  const int Error = posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  int Status = 0;
  rusage Usage{};
  if (Error != 0 || wait4(Pid, &Status, 0, &Usage) != Pid || !WIFEXITED(Status) ||
      WEXITSTATUS(Status) != 0)
    return {};
  auto Milliseconds = [](const timeval& aTime) {
    return static_cast<double>(aTime.tv_sec) * 1e3 + static_cast<double>(aTime.tv_usec) / 1e3;
  };
  return {
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count(),
      Milliseconds(Usage.ru_utime) + Milliseconds(Usage.ru_stime)};
}

// The project: 200 copies of the wide module, every unit test in "Default
// Scenario", enabled; no report file of its own.
std::string WriteProject(const fs::path& aFolder) {
  std::string Modules;
  std::string Sections;
  for (int Index = 0; Index < ModuleCount; ++Index) {
    const fs::path Copy = aFolder / ("Wide" + std::to_string(Index) + ".so");
    fs::copy_file(KALVORO_BENCH_MODULES_DIR "/HostsWide.so", Copy);
    const std::string Number = std::to_string(Index);
    Modules += "File" + Number + "=" + Copy.string() + "\nLoad" + Number + "=1\nAssignmentCount" +
               Number + "=50\n";
    Sections += "[" + Copy.string() + "]\n";
    int Line = 0;
    for (const char Group : std::string("ABCDE"))
      for (int Digit = 0; Digit < 10; ++Digit)
        Sections += "Assign" + std::to_string(Line++) + "=TWide" + Group + std::to_string(Digit) +
                    "|Default Scenario|ENABLED\n";
  }
  const fs::path Project = aFolder / "Wide.kvr";
  std::ofstream(Project) << "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount="
                         << ModuleCount
                         << "\nScenarioCount=1\n[FileInfo]\nSummaryEnabled=0\n"
                            "SummaryFileName=\nLogEnabled=0\nLogFileName=\nErrorEnabled=0\n"
                            "ErrorFileName=\n[Scenarios]\nName0=Default Scenario\n[Modules]\n"
                         << Modules << Sections;
  return Project.string();
}

double Median(std::vector<double> aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues.empty() ? 0 : aValues[aValues.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  int Rounds = 3;
  for (int Index = 1; Index + 1 < argc; ++Index)
    if (std::strcmp(argv[Index], "--rounds") == 0)
      Rounds = std::max(1, std::atoi(argv[Index + 1]));
  char Pattern[] = "/tmp/kalvoro-hosts-bench-XXXXXX";
  if (mkdtemp(Pattern) == nullptr)
    return 2;
  const fs::path Folder = Pattern;
  const std::string Log = (Folder / "Log.txt").string();
  struct TWorkload {
    const char* Name;
    std::vector<std::string> Arguments;
    double Target;
    std::vector<double> InProcess[2]; // wall, CPU
    std::vector<double> Hosts[2];
  };
  std::vector<TWorkload> Workloads = {
      {"Start All, 100,000 passing methods",
       {KALVORO_RUNNER, "run", WriteProject(Folder), "--no-files", "--no-progress", "--log", Log},
       1.15,
       {},
       {}},
      {"1,000,000 logged checks",
       {KALVORO_RUNNER, "run", KALVORO_BENCH_MODULES_DIR "/HostsChecks.so", "--no-progress",
        "--log", Log},
       1.5,
       {},
       {}},
  };
  bool Failed = false;
  for (int Round = 0; Round < Rounds; ++Round)
    for (TWorkload& Workload : Workloads) {
      std::vector<std::string> InProcess = Workload.Arguments;
      InProcess.push_back("--in-process");
      const TTimes Own = TimeRun(InProcess);
      const TTimes Hosts = TimeRun(Workload.Arguments);
      Failed = Failed || Own.Wall < 0 || Hosts.Wall < 0;
      Workload.InProcess[0].push_back(Own.Wall);
      Workload.InProcess[1].push_back(Own.Cpu);
      Workload.Hosts[0].push_back(Hosts.Wall);
      Workload.Hosts[1].push_back(Hosts.Cpu);
    }
  std::printf("Medians of %d rounds of kalvoro run, wall time and CPU time (the runner and its "
              "hosts):\n\n",
              Rounds);
  std::printf("| Workload | In process | In hosts | Ratio | CPU in process | CPU in hosts | CPU "
              "ratio | Target |\n|---|---|---|---|---|---|---|---|\n");
  for (const TWorkload& Workload : Workloads) {
    double Own[2];
    double Hosts[2];
    for (int Kind = 0; Kind < 2; ++Kind) {
      Own[Kind] = Median(Workload.InProcess[Kind]);
      Hosts[Kind] = Median(Workload.Hosts[Kind]);
    }
    std::printf("| %s | %.0f ms | %.0f ms | %.2f | %.0f ms | %.0f ms | %.2f | at most %.2f |\n",
                Workload.Name, Own[0], Hosts[0], Own[0] > 0 ? Hosts[0] / Own[0] : 0.0, Own[1],
                Hosts[1], Own[1] > 0 ? Hosts[1] / Own[1] : 0.0, Workload.Target);
  }
  // Parallel runs: the same module and log, one test at a time and two.
  std::vector<double> Jobs[2];
  for (int Round = 0; Round < Rounds; ++Round)
    for (int Index = 0; Index < 2; ++Index) {
      const TTimes Run = TimeRun({KALVORO_RUNNER, "run", KALVORO_BENCH_MODULES_DIR "/JobsWork.so",
                                  "--no-progress", "--log", Log, "-j", Index == 0 ? "1" : "2"});
      Failed = Failed || Run.Wall < 0;
      Jobs[Index].push_back(Run.Wall);
    }
  const double Serial = Median(Jobs[0]);
  const double Parallel = Median(Jobs[1]);
  std::printf("\n| Workload | -j 1 | -j 2 | Ratio | Target |\n|---|---|---|---|---|\n"
              "| 2,000 methods of 1 ms in 20 unit tests | %.0f ms | %.0f ms | %.2f | at most "
              "0.65 |\n",
              Serial, Parallel, Serial > 0 ? Parallel / Serial : 0.0);
  std::error_code Ignored;
  fs::remove_all(Folder, Ignored);
  if (Failed)
    std::fprintf(stderr, "A run did not end with exit code 0.\n");
  return Failed ? 1 : 0;
}
